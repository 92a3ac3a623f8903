#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vennadar {

// Names one started download, for cancelling it. 0 is never a live download.
using DownloadId = std::uint64_t;

// A GET of a complete address. With a validator of a kept copy the server may answer 304, and
// then the kept copy is still good.
struct HttpRequest {
    std::string address;
    std::string if_none_match;      // the kept copy's ETag; empty: none
    std::string if_modified_since;  // the kept copy's Last-Modified; empty: none
};

// What a download gave. Without an answer (`answered` false) nothing else is set; `unreachable`
// then says whether the network failed (refused, reset, timed out) rather than the download
// being refused by the program (a body too large, an address it does not fetch).
struct HttpResponse {
    bool answered = false;
    bool unreachable = false;
    long status = 0;
    std::string etag;
    std::string last_modified;
    std::string body;
};

// Receives what a download gave: the response body (whatever the status), or nothing when the
// request failed.
using DownloadDone = std::function<void(std::optional<std::string> body)>;
using FetchDone = std::function<void(HttpResponse response)>;

// The page download service.
class Http {
  public:
    virtual ~Http() = default;

    // One blocking GET.
    virtual HttpResponse Fetch(const HttpRequest& request) = 0;

    // Starts a GET and returns at once; `done` runs later, on the calling thread, with what
    // Fetch would have returned, unless the download is cancelled first. This default downloads
    // before it returns, which is all a fake needs: the caller must be ready for `done` to have
    // run already when StartFetch returns.
    virtual DownloadId StartFetch(const HttpRequest& request, FetchDone done) {
        done(Fetch(request));
        return 0;
    }

    // Gives up a started download at once: its transfer is aborted and its `done` never runs.
    // An id that has finished, or was never started, is ignored.
    virtual void CancelDownload(DownloadId id) { static_cast<void>(id); }

    // The body alone, whatever the status; nothing when there was no answer.
    std::optional<std::string> Download(const std::string& address) {
        return BodyOf(Fetch(HttpRequest{address, {}, {}}));
    }
    DownloadId StartDownload(const std::string& address, DownloadDone done) {
        return StartFetch(
            HttpRequest{address, {}, {}},
            [done = std::move(done)](HttpResponse response) { done(BodyOf(std::move(response))); });
    }

    static std::optional<std::string> BodyOf(HttpResponse response) {
        if (!response.answered) {
            return std::nullopt;
        }
        return std::move(response.body);
    }
};

}  // namespace vennadar
