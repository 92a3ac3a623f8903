#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vennadar {

// A page kept from an earlier download, with what the server said to revalidate it.
struct KeptPage {
    std::string body;
    std::string etag;           // empty: none was given
    std::string last_modified;  // empty: none was given
    std::int64_t kept_at = 0;   // seconds since the epoch, when it last came from the server
};

// What the store knows of a listing page's articles, in the order asked for.
struct ListingMarks {
    bool page_visited = false;  // the page was listed in an earlier visit
    std::vector<bool> listed;   // the article was listed before
    std::vector<bool> read;     // the article was opened with a body
};

// The reader's memory between runs: what was read, what was listed, and pages kept for revalidation
// and for offline use. Addresses are complete UTF-8 addresses.
//
// Reads answer at once from what is committed (they never wait on a writer; a store that cannot
// answer in time answers as if it knew nothing). Writes are queued and done in the background, in
// the order given; a read right after a write may not see it yet. A store that failed to open, or
// belongs to a newer program, knows nothing and keeps nothing.
class Store {
  public:
    virtual ~Store() = default;

    virtual ListingMarks MarksFor(const std::string& page,
                                  const std::vector<std::string>& articles) = 0;
    virtual std::optional<KeptPage> Kept(const std::string& address) = 0;

    // The page was listed and shows these articles.
    virtual void NoteListed(const std::string& page, const std::vector<std::string>& articles) = 0;
    virtual void NoteRead(const std::string& article) = 0;
    // Keeps a page as it came from the server now; the kept page is shown now.
    virtual void Keep(const std::string& address, const KeptPage& page) = 0;
    // The kept page was shown again: the server confirmed it (kept time is now), or not (offline).
    virtual void NoteShown(const std::string& address, bool confirmed) = 0;
    // Forgets everything, for real: nothing read, listed or kept is left in the file.
    virtual void Clear() = 0;
};

}  // namespace vennadar
