#include "adapters/sqlite/sqlite_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/test_support.h"

namespace vennadar {
namespace {

namespace fs = std::filesystem;
using Condition = SqliteStore::Condition;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// What a plain sqlite3 session finds in the file.
std::string Query(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* statement = nullptr;
    std::string value;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(statement, 0);
        value = text == nullptr ? "" : reinterpret_cast<const char*>(text);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

class SqliteStoreTest : public ::testing::Test {
  protected:
    std::unique_ptr<SqliteStore> Open(SqliteStoreOptions options = {}) {
        if (options.path.empty()) {
            options.path = path_;
        }
        auto store = std::make_unique<SqliteStore>(options);
        store->WaitUntilIdle();
        return store;
    }
    std::vector<std::string> SetAside() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            if (name.find(".corrupt-") != std::string::npos) {
                names.push_back(name.substr(0, name.find(".corrupt-")));
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TemporaryFolder temp_;
    std::string folder_ = temp_.Path() + "/data/vennadar";
    std::string path_ = folder_ + "/reader.sqlite";
};

TEST_F(SqliteStoreTest, RemembersAcrossRunsInAPrivateWalFile) {
    {
        auto store = Open();
        ASSERT_EQ(store->State(), Condition::kOpen);
        store->NoteListed("http://site/page/1", {"http://site/a", "http://site/b"});
        store->NoteRead("http://site/b");
        store->Keep("http://site/page/1", {"<h2>page</h2>", "\"v1\"", "Tue, 09 Dec 2025", 0});
    }
    auto store = Open();
    const ListingMarks marks =
        store->MarksFor("http://site/page/1", {"http://site/a", "http://site/b", "http://site/c"});
    EXPECT_TRUE(marks.page_visited);
    EXPECT_EQ(marks.listed, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(marks.read, (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(store->MarksFor("http://site/page/2", {}).page_visited);
    const std::optional<KeptPage> kept = store->Kept("http://site/page/1");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->body, "<h2>page</h2>");
    EXPECT_EQ(kept->etag, "\"v1\"");
    EXPECT_EQ(kept->last_modified, "Tue, 09 Dec 2025");
    EXPECT_GT(kept->kept_at, 0);

    struct stat info {};
    ASSERT_EQ(stat(folder_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(Query(path_, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(Query(path_, "PRAGMA auto_vacuum"), "2");  // incremental
    EXPECT_EQ(Query(path_, "PRAGMA user_version"), std::to_string(SqliteStore::kSchemaVersion));
}

// Damage found when opening (not a database at all) and found by the check after opening (a
// page of a table overwritten).
TEST_F(SqliteStoreTest, DamagedFileIsSetAsideWithItsJournalsAndAFreshOneStarted) {
    for (const bool whole_file : {true, false}) {
        SCOPED_TRACE(whole_file ? "not a database" : "a damaged page");
        fs::remove_all(temp_.Path() + "/data");
        fs::create_directories(folder_);
        if (whole_file) {
            std::ofstream(path_) << std::string(8192, 'x');
            std::ofstream(path_ + "-wal") << "not a journal";
        } else {
            {
                auto store = Open();
                for (int i = 0; i < 300; ++i) {
                    store->NoteRead("http://site/" + std::to_string(i) + std::string(100, 'a'));
                }
            }
            std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(4096 * 3);  // past the header and the first pages: table pages
            file << std::string(4096 * 4, '\x5a');
        }
        auto store = Open();
        EXPECT_EQ(store->State(), Condition::kOpen);
        const std::vector<std::string> set_aside = SetAside();
        EXPECT_NE(std::find(set_aside.begin(), set_aside.end(), "reader.sqlite"), set_aside.end());
        if (whole_file) {
            EXPECT_NE(std::find(set_aside.begin(), set_aside.end(), "reader.sqlite-wal"),
                      set_aside.end());
            EXPECT_EQ(ReadAll(path_ + "-wal").find("not a journal"), std::string::npos);
        }
        store->NoteRead("http://site/a");
        store->WaitUntilIdle();
        EXPECT_EQ(
            store->MarksFor("p", {"http://site/a", "http://site/0" + std::string(100, 'a')}).read,
            (std::vector<bool>{true, false}));
    }
}

TEST_F(SqliteStoreTest, NewerProgramsFileIsNeitherWrittenNorMoved) {
    fs::create_directories(folder_);
    Query(path_, "CREATE TABLE future(x)");
    Query(path_, "PRAGMA user_version=" + std::to_string(SqliteStore::kSchemaVersion + 1));
    const std::string before = ReadAll(path_);
    {
        auto store = Open();
        EXPECT_EQ(store->State(), Condition::kNoMemory);
        store->NoteRead("http://site/a");
        store->Keep("http://site/a", {"body", "", "", 0});
        store->Clear();
        store->WaitUntilIdle();
        EXPECT_FALSE(store->Kept("http://site/a"));
    }
    EXPECT_EQ(ReadAll(path_), before);
    EXPECT_TRUE(SetAside().empty());
}

TEST_F(SqliteStoreTest, UnusablePlaceMeansNoMemory) {
    fs::create_directories(temp_.Path());
    std::ofstream(temp_.Path() + "/file") << "a file where a folder should be";
    SqliteStoreOptions options;
    options.path = temp_.Path() + "/file/vennadar/reader.sqlite";
    auto store = Open(options);
    EXPECT_EQ(store->State(), Condition::kNoMemory);
    EXPECT_FALSE(store->MarksFor("p", {"a"}).page_visited);
}

TEST_F(SqliteStoreTest, WritesFromTwoProgramsAndABusyFileAreAllKept) {
    auto first = Open();
    auto second = Open();
    // Another program holds the write lock longer than a writer waits: the write must come
    // through once it lets go.
    sqlite3* other = nullptr;
    sqlite3_open(path_.c_str(), &other);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    for (int i = 0; i < 50; ++i) {
        first->NoteRead("http://site/first/" + std::to_string(i));
        second->NoteRead("http://site/second/" + std::to_string(i));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    first->WaitUntilIdle();
    second->WaitUntilIdle();
    EXPECT_EQ(first->State(), Condition::kOpen);
    EXPECT_EQ(Query(path_, "SELECT count(*) FROM articles WHERE read_at IS NOT NULL"), "100");
}

TEST_F(SqliteStoreTest, KeptPagesOverTheBoundLoseTheLeastRecentlyShown) {
    SqliteStoreOptions options;
    options.kept_bytes_limit = 3000;
    auto store = Open(options);
    const std::string body(1000, 'b');
    for (const char* address : {"a", "b", "c"}) {
        store->Keep(address, {body, "", "", 0});
    }
    store->NoteShown("a", false);
    store->Keep("d", {body, "", "", 0});
    store->WaitUntilIdle();
    EXPECT_TRUE(store->Kept("a"));
    EXPECT_FALSE(store->Kept("b"));
    EXPECT_TRUE(store->Kept("c"));
    EXPECT_TRUE(store->Kept("d"));
}

TEST_F(SqliteStoreTest, FullDiskMeansNoMemoryWithoutFailingTheReader) {
    SqliteStoreOptions options;
    options.max_page_count = 16;
    auto store = Open(options);
    ASSERT_EQ(store->State(), Condition::kOpen);
    store->Keep("big", {std::string(256 * 1024, 'x'), "", "", 0});
    store->NoteRead("http://site/a");
    store->WaitUntilIdle();
    EXPECT_EQ(store->State(), Condition::kNoMemory);
    EXPECT_FALSE(store->Kept("big"));
}

TEST_F(SqliteStoreTest, ClearingLeavesNothingInTheFiles) {
    auto store = Open();
    const std::string marker = "remembered-marker-7f3a";
    store->Keep("http://site/" + marker, {std::string(64 * 1024, 'k') + marker, "", "", 0});
    store->NoteRead("http://site/read-" + marker);
    store->WaitUntilIdle();
    store->Clear();
    EXPECT_FALSE(store->MarksFor("p", {"http://site/read-" + marker}).read[0]);  // at once
    store->WaitUntilIdle();
    EXPECT_FALSE(store->Kept("http://site/" + marker));
    for (const std::string& file : {path_, path_ + "-wal"}) {
        EXPECT_EQ(ReadAll(file).find(marker), std::string::npos) << file;
    }
    store->NoteRead("http://site/later");
    store->WaitUntilIdle();
    EXPECT_TRUE(store->MarksFor("p", {"http://site/later"}).read[0]);
}

TEST(StorePath, FollowsTheDataHomeRule) {
    struct Case {
        const char* data_home;  // null: unset
        std::string expected;
    };
    const Case cases[] = {
        {"/xdg/data", "/xdg/data/vennadar/reader.sqlite"},
        {nullptr, "/home/reader/.local/share/vennadar/reader.sqlite"},
        {"", "/home/reader/.local/share/vennadar/reader.sqlite"},
        {"relative/data", "/home/reader/.local/share/vennadar/reader.sqlite"},
    };
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* data_home = std::getenv("XDG_DATA_HOME");
    const std::string saved = data_home ? data_home : "";
    setenv("HOME", "/home/reader", 1);
    for (const Case& c : cases) {
        if (c.data_home == nullptr) {
            unsetenv("XDG_DATA_HOME");
        } else {
            setenv("XDG_DATA_HOME", c.data_home, 1);
        }
        EXPECT_EQ(DefaultStorePath(), c.expected) << (c.data_home ? c.data_home : "(unset)");
    }
    setenv("HOME", home.c_str(), 1);
    if (data_home) {
        setenv("XDG_DATA_HOME", saved.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
}

}  // namespace
}  // namespace vennadar
