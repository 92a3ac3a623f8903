#include "adapters/sqlite/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

#include "core/settings/zoom.h"

namespace vennadar {
namespace {

// Each statement of the schema runs once, when the file is new. Columns that are read without
// the body come before it, so reading them never touches the body's overflow pages.
constexpr char kSchema[] = R"sql(
CREATE TABLE articles(address TEXT PRIMARY KEY, first_listed INTEGER NOT NULL,
                      read_at INTEGER) WITHOUT ROWID;
CREATE TABLE listings(address TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE pages(address TEXT PRIMARY KEY, size INTEGER NOT NULL, shown INTEGER NOT NULL,
                   kept_at INTEGER NOT NULL, etag TEXT NOT NULL, last_modified TEXT NOT NULL,
                   body BLOB NOT NULL);
CREATE INDEX pages_by_shown ON pages(shown);
)sql";

constexpr long kJournalSizeLimit = 4L * 1024 * 1024;
constexpr int kWriterBusyTimeoutMs = 1000;
constexpr auto kBusyRetryPause = std::chrono::milliseconds(50);
// At exit a write still busy after about two seconds is given up, and every write after it:
// the exit must end.
constexpr int kBusyRetriesAtExit = 1;

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    return Statement(statement);
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return data == nullptr
               ? std::string()
               : std::string(data,
                             static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

int Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool IsCorrupt(int code) {
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

bool IsBusy(int code) {
    code &= 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

std::int64_t SystemClock() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// Creates the folders of `path`; the store's own folder is private to the user.
bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

// A single-row pragma's first column, as text.
std::string PragmaText(sqlite3* db, const char* sql, int* code) {
    Statement statement = Prepare(db, sql);
    if (!statement) {
        *code = sqlite3_errcode(db);
        return {};
    }
    *code = sqlite3_step(statement.get());
    std::string text;
    if (*code == SQLITE_ROW) {
        text = ColumnText(statement.get(), 0);
        *code = SQLITE_OK;
    } else if (*code == SQLITE_DONE) {
        *code = SQLITE_OK;
    }
    return text;
}

// How opening ended.
enum class Opened { kOk, kCorrupt, kNewer, kUnusable };

}  // namespace

std::string DefaultStorePath() {
    const std::string base =
        UserBaseFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), "/.local/share");
    return base.empty() ? base : base + "/vennadar/reader.sqlite";
}

// What the window's thread and the worker share. The worker holds it too, so a worker still
// opening the file when the store is destroyed can finish on its own.
struct SqliteStore::Shared {
    using Job = std::function<int(sqlite3*)>;

    SqliteStoreOptions options;
    std::atomic<Condition> condition{Condition::kOpening};
    // Bumped whenever the worker starts a fresh file: the reader must reopen.
    std::atomic<unsigned> generation{0};
    std::atomic<bool> recovery_asked{false};
    // Clears queued and not yet done: until then reads answer as if nothing were known.
    std::atomic<int> clears_pending{0};

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    bool working = false;
    bool stopping = false;
    bool gave_up = false;  // worker only: a write at exit found the file busy for too long

    std::int64_t Now() const { return options.clock ? options.clock() : SystemClock(); }

    void Post(Job job) {
        {
            const std::lock_guard lock(mutex);
            if (stopping) {
                return;
            }
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    // The worker's life: open, then write until told to stop.
    static void Run(const std::shared_ptr<Shared>& self) {
        Db db = self->OpenOrRecover();
        std::unique_lock lock(self->mutex);
        self->working = true;  // the check below, as far as WaitUntilIdle is concerned
        lock.unlock();
        self->condition = db ? Condition::kOpen : Condition::kNoMemory;
        // The whole-file check runs with the store already in use: a large file takes a while,
        // and the first listing should not go without its marks meanwhile.
        if (db) {
            self->Do(db, QuickCheck, false);
        }
        lock.lock();
        self->working = false;
        self->idle.notify_all();
        while (true) {
            self->wake.wait(lock, [&] { return self->stopping || !self->jobs.empty(); });
            if (self->jobs.empty()) {
                break;  // stopping with nothing left to write
            }
            Job job = std::move(self->jobs.front());
            self->jobs.pop_front();
            self->working = true;
            const bool stopping = self->stopping;
            lock.unlock();
            if (db) {
                self->Do(db, job, stopping);
            }
            lock.lock();
            self->working = false;
            self->idle.notify_all();
        }
        self->idle.notify_all();
        lock.unlock();
        db.reset();  // the last connection checkpoints and removes the WAL
    }

    // One write, retried while another program holds the file, never dropped for that.
    void Do(Db& db, const Job& job, bool at_exit) {
        if (gave_up) {
            return;
        }
        int code = SQLITE_OK;
        for (int attempt = 0;; ++attempt) {
            code = job(db.get());
            if (!sqlite3_get_autocommit(db.get())) {
                Exec(db.get(), "ROLLBACK");  // a failed step left its transaction open
            }
            if (!IsBusy(code)) {
                break;
            }
            {
                const std::lock_guard lock(mutex);
                at_exit = at_exit || stopping;
            }
            if (at_exit && attempt >= kBusyRetriesAtExit) {
                gave_up = true;
                return;
            }
            std::this_thread::sleep_for(kBusyRetryPause);
        }
        if (IsCorrupt(code)) {
            Recover(db);
        } else if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW) {
            // A full disk or a file gone read-only: from now on, no memory, as without a store.
            condition = Condition::kNoMemory;
            db.reset();
        }
    }

    void Recover(Db& db) {
        sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        db.reset();
        MoveAside();
        db = OpenOrRecover();
        ++generation;
        recovery_asked = false;
        condition = db ? Condition::kOpen : Condition::kNoMemory;
    }

    Db OpenOrRecover() {
        Db db;
        Opened opened = Open(db);
        if (opened == Opened::kCorrupt) {
            // Closing would fold the WAL into the damaged file and delete it: keep both as found.
            sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            db.reset();
            MoveAside();
            opened = Open(db);
        }
        if (opened != Opened::kOk) {
            db.reset();
        }
        return db;
    }

    // The damaged file and its journal files keep their names with a time stamp added, so nothing
    // the user had is deleted.
    void MoveAside() {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, ".corrupt-%Y%m%d-%H%M%S", &local);
        for (const char* suffix : {"", "-wal", "-shm"}) {
            const std::string name = options.path + suffix;
            std::rename(name.c_str(), (name + stamp).c_str());
        }
    }

    Opened Open(Db& db) {
        if (options.path.empty() || !MakeFolders(options.path)) {
            return Opened::kUnusable;
        }
        sqlite3* raw = nullptr;
        const int opened = sqlite3_open_v2(
            options.path.c_str(), &raw,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        db.reset(raw);
        if (opened != SQLITE_OK) {
            return Opened::kUnusable;
        }
        sqlite3_busy_timeout(db.get(), kWriterBusyTimeoutMs);
        if (options.max_page_count > 0) {
            const std::string cap =
                "PRAGMA max_page_count=" + std::to_string(options.max_page_count);
            Exec(db.get(), cap.c_str());
        }
        int code = SQLITE_OK;
        const std::string version = PragmaText(db.get(), "PRAGMA user_version", &code);
        if (IsCorrupt(code)) {
            return Opened::kCorrupt;
        }
        if (code != SQLITE_OK) {
            return Opened::kUnusable;
        }
        const int found = std::atoi(version.c_str());
        if (found > kSchemaVersion) {
            return Opened::kNewer;  // a newer program's file: never written, never moved
        }
        if (found == 0 && Exec(db.get(), "PRAGMA auto_vacuum=INCREMENTAL") != SQLITE_OK) {
            return Opened::kUnusable;
        }
        const std::string mode = PragmaText(db.get(), "PRAGMA journal_mode=WAL", &code);
        if (IsCorrupt(code)) {
            return Opened::kCorrupt;
        }
        if (mode != "wal") {
            return Opened::kUnusable;  // e.g. a network file system without shared memory
        }
        Exec(db.get(), "PRAGMA synchronous=NORMAL");
        Exec(db.get(), ("PRAGMA journal_size_limit=" + std::to_string(kJournalSizeLimit)).c_str());
        if (found == 0) {
            const std::string create = std::string("BEGIN;") + kSchema +
                                       "PRAGMA user_version=" + std::to_string(kSchemaVersion) +
                                       ";COMMIT;";
            code = Exec(db.get(), create.c_str());
            if (code != SQLITE_OK) {
                Exec(db.get(), "ROLLBACK");
                return IsCorrupt(code) ? Opened::kCorrupt : Opened::kUnusable;
            }
        }
        return Opened::kOk;
    }

    // Damage anywhere in the file counts as damage found by a write.
    static int QuickCheck(sqlite3* db) {
        int code = SQLITE_OK;
        const std::string check = PragmaText(db, "PRAGMA quick_check", &code);
        return code == SQLITE_OK && check != "ok" ? SQLITE_CORRUPT : code;
    }
};

// The calling thread's read-only connection, opened once the worker has the file ready, and
// again after the worker started a fresh one.
struct SqliteStore::Reader {
    Db db;
    unsigned generation = 0;
    Statement article;
    Statement listing;
    Statement page;

    // Null when the store cannot answer now.
    sqlite3* Ready(Shared& shared) {
        if (shared.condition != Condition::kOpen || shared.clears_pending > 0 ||
            shared.recovery_asked) {
            return nullptr;
        }
        if (db && generation != shared.generation) {
            Close();
        }
        if (!db) {
            generation = shared.generation;
            sqlite3* raw = nullptr;
            const int code = sqlite3_open_v2(shared.options.path.c_str(), &raw,
                                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
            db.reset(raw);
            if (code != SQLITE_OK) {
                db.reset();
                return nullptr;
            }
            // Only the worker checkpoints: this connection closing must never touch the WAL,
            // which after a recovery belongs to another file.
            sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            sqlite3_busy_timeout(db.get(), shared.options.read_busy_timeout_ms);
            article = Prepare(db.get(), "SELECT read_at IS NOT NULL FROM articles WHERE address=?");
            listing = Prepare(db.get(), "SELECT 1 FROM listings WHERE address=?");
            page = Prepare(db.get(),
                           "SELECT body, etag, last_modified, kept_at FROM pages WHERE address=?");
            if (!article || !listing || !page) {
                Failed(shared, sqlite3_errcode(db.get()));
                return nullptr;
            }
        }
        return db.get();
    }

    // A failed read: damage is the worker's to confirm (with the whole-file check) and repair;
    // anything else answers "unknown".
    void Failed(Shared& shared, int code) {
        if (IsCorrupt(code) && !shared.recovery_asked.exchange(true)) {
            Close();
            shared.Post([&shared](sqlite3* db) {
                const int checked = Shared::QuickCheck(db);
                if (!IsCorrupt(checked)) {
                    shared.recovery_asked = false;
                }
                return checked;
            });
        }
    }

    void Close() {
        article.reset();
        listing.reset();
        page.reset();
        db.reset();
    }
};

SqliteStore::SqliteStore(SqliteStoreOptions options)
    : shared_(std::make_shared<Shared>()), reader_(std::make_unique<Reader>()) {
    shared_->options = std::move(options);
    if (shared_->options.path.empty()) {
        shared_->options.path = DefaultStorePath();
    }
    worker_ = std::thread(&Shared::Run, shared_);
}

SqliteStore::~SqliteStore() {
    reader_->Close();
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->wake.notify_one();
    if (shared_->condition == Condition::kOpening) {
        worker_.detach();  // it ends on its own once the file is open: the exit does not wait
    } else {
        worker_.join();  // the queued writes, then the last checkpoint
    }
}

ListingMarks SqliteStore::MarksFor(const std::string& page,
                                   const std::vector<std::string>& articles) {
    ListingMarks marks;
    marks.listed.assign(articles.size(), false);
    marks.read.assign(articles.size(), false);
    sqlite3* db = reader_->Ready(*shared_);
    if (db == nullptr) {
        return marks;
    }
    // One read transaction: the page and its rows seen at one moment.
    if (Exec(db, "BEGIN") != SQLITE_OK) {
        return marks;
    }
    int code = SQLITE_OK;
    sqlite3_stmt* listing = reader_->listing.get();
    BindText(listing, 1, page);
    code = sqlite3_step(listing);
    marks.page_visited = code == SQLITE_ROW;
    sqlite3_reset(listing);
    sqlite3_stmt* article = reader_->article.get();
    for (std::size_t i = 0; i < articles.size() && (code == SQLITE_ROW || code == SQLITE_DONE);
         ++i) {
        BindText(article, 1, articles[i]);
        code = sqlite3_step(article);
        if (code == SQLITE_ROW) {
            marks.listed[i] = true;
            marks.read[i] = sqlite3_column_int(article, 0) != 0;
        }
        sqlite3_reset(article);
    }
    Exec(db, "ROLLBACK");  // only read: ends the snapshot, which would hold back checkpoints
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        reader_->Failed(*shared_, code);
        return ListingMarks{false, std::vector<bool>(articles.size(), false),
                            std::vector<bool>(articles.size(), false)};
    }
    return marks;
}

std::optional<KeptPage> SqliteStore::Kept(const std::string& address) {
    sqlite3* db = reader_->Ready(*shared_);
    if (db == nullptr) {
        return std::nullopt;
    }
    sqlite3_stmt* statement = reader_->page.get();
    BindText(statement, 1, address);
    const int code = sqlite3_step(statement);
    std::optional<KeptPage> kept;
    if (code == SQLITE_ROW) {
        kept = KeptPage{ColumnText(statement, 0), ColumnText(statement, 1),
                        ColumnText(statement, 2), sqlite3_column_int64(statement, 3)};
    }
    sqlite3_reset(statement);
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        reader_->Failed(*shared_, code);
    }
    return kept;
}

namespace {

// Runs `sql` once per address with `number` bound after it, inside one transaction.
int Each(sqlite3* db, const char* sql, const std::vector<std::string>& addresses,
         std::int64_t number) {
    int code = Exec(db, "BEGIN IMMEDIATE");
    if (code != SQLITE_OK) {
        return code;
    }
    Statement statement = Prepare(db, sql);
    if (!statement) {
        code = sqlite3_errcode(db);
    }
    for (std::size_t i = 0; statement && i < addresses.size(); ++i) {
        BindText(statement.get(), 1, addresses[i]);
        sqlite3_bind_int64(statement.get(), 2, number);
        code = sqlite3_step(statement.get());
        sqlite3_reset(statement.get());
        if (code != SQLITE_DONE) {
            break;
        }
    }
    statement.reset();
    if (code != SQLITE_DONE && code != SQLITE_OK) {
        return code;  // the worker rolls back
    }
    return Exec(db, "COMMIT");
}

// Drops the least recently shown pages until the kept bodies fit, and gives the space back.
int Prune(sqlite3* db, std::int64_t limit) {
    Statement total = Prepare(db, "SELECT coalesce(sum(size), 0) FROM pages");
    if (!total || sqlite3_step(total.get()) != SQLITE_ROW) {
        return sqlite3_errcode(db);
    }
    std::int64_t bytes = sqlite3_column_int64(total.get(), 0);
    total.reset();
    if (bytes <= limit) {
        return SQLITE_OK;
    }
    int code = Exec(db, "BEGIN IMMEDIATE");
    if (code != SQLITE_OK) {
        return code;
    }
    Statement oldest = Prepare(db, "SELECT address, size FROM pages ORDER BY shown");
    Statement drop = Prepare(db, "DELETE FROM pages WHERE address=?");
    while (oldest && drop && bytes > limit && sqlite3_step(oldest.get()) == SQLITE_ROW) {
        BindText(drop.get(), 1, ColumnText(oldest.get(), 0));
        code = sqlite3_step(drop.get());
        sqlite3_reset(drop.get());
        if (code != SQLITE_DONE) {
            break;
        }
        bytes -= sqlite3_column_int64(oldest.get(), 1);
        code = SQLITE_OK;
    }
    oldest.reset();
    drop.reset();
    if (code != SQLITE_OK) {
        return code;
    }
    code = Exec(db, "COMMIT");
    return code != SQLITE_OK ? code : Exec(db, "PRAGMA incremental_vacuum");
}

}  // namespace

void SqliteStore::NoteListed(const std::string& page, const std::vector<std::string>& articles) {
    const std::int64_t now = shared_->Now();
    shared_->Post([page, articles, now](sqlite3* db) {
        int code = Each(db, "INSERT OR IGNORE INTO listings(address) VALUES(?)", {page}, now);
        if (code != SQLITE_OK) {
            return code;
        }
        return Each(db, "INSERT OR IGNORE INTO articles(address, first_listed) VALUES(?, ?)",
                    articles, now);
    });
}

void SqliteStore::NoteRead(const std::string& article) {
    const std::int64_t now = shared_->Now();
    shared_->Post([article, now](sqlite3* db) {
        return Each(db,
                    "INSERT INTO articles(address, first_listed, read_at) VALUES(?1, ?2, ?2) "
                    "ON CONFLICT(address) DO UPDATE SET read_at=excluded.read_at",
                    {article}, now);
    });
}

void SqliteStore::Keep(const std::string& address, const KeptPage& page) {
    const std::int64_t now = shared_->Now();
    const std::int64_t limit = shared_->options.kept_bytes_limit;
    shared_->Post([address, page, now, limit](sqlite3* db) {
        Statement keep = Prepare(
            db,
            "INSERT OR REPLACE INTO pages(address, size, shown, kept_at, etag, last_modified, "
            "body) VALUES(?, ?, (SELECT coalesce(max(shown), 0) + 1 FROM pages), ?, ?, ?, ?)");
        if (!keep) {
            return sqlite3_errcode(db);
        }
        BindText(keep.get(), 1, address);
        sqlite3_bind_int64(keep.get(), 2, static_cast<std::int64_t>(page.body.size()));
        sqlite3_bind_int64(keep.get(), 3, now);
        BindText(keep.get(), 4, page.etag);
        BindText(keep.get(), 5, page.last_modified);
        sqlite3_bind_blob64(keep.get(), 6, page.body.data(), page.body.size(), SQLITE_STATIC);
        const int code = sqlite3_step(keep.get());
        keep.reset();
        if (code != SQLITE_DONE) {
            return code;
        }
        return Prune(db, limit);
    });
}

void SqliteStore::NoteShown(const std::string& address, bool confirmed) {
    const std::int64_t now = shared_->Now();
    shared_->Post([address, confirmed, now](sqlite3* db) {
        return Each(db,
                    confirmed ? "UPDATE pages SET shown=(SELECT max(shown) + 1 FROM pages), "
                                "kept_at=?2 WHERE address=?1"
                              : "UPDATE pages SET shown=(SELECT max(shown) + 1 FROM pages) "
                                "WHERE address=?1",
                    {address}, now);
    });
}

void SqliteStore::Clear() {
    ++shared_->clears_pending;
    Shared* shared = shared_.get();
    shared_->Post([shared](sqlite3* db) {
        int code = Exec(db,
                        "BEGIN IMMEDIATE; DELETE FROM articles; DELETE FROM listings; "
                        "DELETE FROM pages; COMMIT;");
        // Deleted rows linger in free pages and in the WAL: rebuild the file, then empty the WAL
        // into it.
        if (code == SQLITE_OK) {
            code = Exec(db, "VACUUM");
        }
        if (code == SQLITE_OK) {
            code = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr,
                                             nullptr);
        }
        if (!IsBusy(code)) {
            --shared->clears_pending;
        }
        return code;
    });
}

SqliteStore::Condition SqliteStore::State() const {
    return shared_->condition;
}

void SqliteStore::WaitUntilIdle() {
    while (shared_->condition == Condition::kOpening) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::unique_lock lock(shared_->mutex);
    shared_->idle.wait(lock, [&] { return shared_->jobs.empty() && !shared_->working; });
}

}  // namespace vennadar
