#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/ports/store.h"

namespace vennadar {

// The store's file: $XDG_DATA_HOME/vennadar/reader.sqlite, the base directory ~/.local/share when
// XDG_DATA_HOME is unset, empty or relative. Empty when there is no home to put it in.
std::string DefaultStorePath();

struct SqliteStoreOptions {
    std::string path;  // empty: DefaultStorePath()
    std::int64_t kept_bytes_limit = 200LL * 1024 * 1024;
    // The window's thread never waits longer than this for a writer.
    int read_busy_timeout_ms = 5;
    // Above zero: the file may not grow beyond this many pages (how tests fill the disk).
    long max_page_count = 0;
    // Seconds since the epoch; empty: the system clock.
    std::function<std::int64_t()> clock;
};

// The reader's memory in one SQLite file in WAL mode.
//
// The file is opened, checked and written on a worker thread with its own connection; the calling
// thread only reads, through a second connection that gives up on a busy file within a few
// milliseconds. Until the worker has opened the file, and for good when it cannot (an unwritable
// folder, a full disk, a file system without WAL, a file of a newer program), the store knows
// nothing and keeps nothing; no message is shown. A damaged file is moved aside, with its -wal
// and -shm, as name.corrupt-YYYYMMDD-HHMMSS, and a fresh one started.
class SqliteStore final : public Store {
  public:
    enum class Condition { kOpening, kOpen, kNoMemory };

    explicit SqliteStore(SqliteStoreOptions options = {});
    // Queued writes are finished when the file is open; a file still opening is not waited for.
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    ListingMarks MarksFor(const std::string& page,
                          const std::vector<std::string>& articles) override;
    std::optional<KeptPage> Kept(const std::string& address) override;
    void NoteListed(const std::string& page, const std::vector<std::string>& articles) override;
    void NoteRead(const std::string& article) override;
    void Keep(const std::string& address, const KeptPage& page) override;
    void NoteShown(const std::string& address, bool confirmed) override;
    void Clear() override;

    Condition State() const;
    // Blocks until the file is opened (or found unusable) and every queued write is done.
    void WaitUntilIdle();

    static constexpr int kSchemaVersion = 1;

  private:
    struct Shared;
    struct Reader;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<Reader> reader_;
    std::thread worker_;
};

}  // namespace vennadar
