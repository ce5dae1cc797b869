// Which files the store opens, creates, upgrades or refuses.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "history/history_path.h"
#include "history/history_store.h"
#include "support/history_test_support.h"
#include "support/temp_dir.h"

namespace ostrivane {
namespace {

using testing::checkRun;
using testing::kDecember1;
using testing::kHourMs;
using testing::openStore;
using testing::periodsOf;
using testing::readBytes;
using testing::resultOf;
using testing::runOf;
using testing::TempDir;
using testing::writeBytes;

TEST(HistoryPath, StateFolderOfTheUser) {
    struct Case {
        std::optional<std::string_view> xdgStateHome;
        std::optional<std::string_view> home;
        std::filesystem::path expected;
    };
    const Case cases[] = {
        {"/srv/state", "/home/ann", "/srv/state/ostrivane/history.sqlite"},
        {std::nullopt, "/home/ann", "/home/ann/.local/state/ostrivane/history.sqlite"},
        {"", "/home/ann", "/home/ann/.local/state/ostrivane/history.sqlite"},
        // A relative XDG_STATE_HOME is invalid and ignored.
        {"state", "/home/ann", "/home/ann/.local/state/ostrivane/history.sqlite"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(historyPathFor(test.xdgStateHome, test.home), test.expected);
    }
}

void execute(sqlite3* db, const char* sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << error;
}

void makeDatabase(const std::filesystem::path& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    execute(db, sql);
    sqlite3_close(db);
}

TEST(HistoryFiles, CreatesFolderAndStoreOnFirstUse) {
    TempDir dir;
    const auto path = dir / "state/ostrivane/history.sqlite";
    {
        HistoryStore store = openStore(path);
        checkRun(store,
                 runOf(kDecember1, {resultOf("192.0.2.1", "bl.test", CheckVerdict::Listed)}));
    }
    HistoryStore again = openStore(path);
    EXPECT_EQ(periodsOf(again).size(), 1u);
    // An empty file (made by touch) holds nothing to lose: it becomes a store.
    writeBytes(dir / "empty.sqlite", "");
    openStore(dir / "empty.sqlite");
    EXPECT_TRUE(std::holds_alternative<HistoryStore>(HistoryStore::openReadOnly(path)));
}

TEST(HistoryFiles, RefusesWhatIsNotItsStoreAndLeavesItUntouched) {
    struct Case {
        const char* name;
        std::string bytes;   // the file's content, when written directly
        const char* sql;     // else: an SQLite file made with this
        const char* reason;  // part of the reason given
    };
    std::string damaged(4096, '\xee');
    damaged.replace(0, 16, std::string("SQLite format 3\0", 16));
    const Case cases[] = {
        {"text file", "192.0.2.1 listed\n", nullptr, "is not an SQLite database"},
        {"shorter than the header", "SQLite", nullptr, "is not an SQLite database"},
        {"damaged after the header", damaged, nullptr, "is damaged"},
        {"another program's database", "", "CREATE TABLE mail (id INTEGER PRIMARY KEY)",
         "another program"},
        {"a newer store", "",
         "PRAGMA application_id = 1332966518; PRAGMA user_version = 99; CREATE TABLE runs (id)",
         "newer Ostrivane (history version 99"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TempDir dir;
        const auto path = dir / "history.sqlite";
        if (test.sql) {
            makeDatabase(path, test.sql);
        } else {
            writeBytes(path, test.bytes);
        }
        const std::string before = readBytes(path);
        for (const bool readOnly : {false, true}) {
            auto opened = readOnly ? HistoryStore::openReadOnly(path) : HistoryStore::open(path);
            ASSERT_TRUE(std::holds_alternative<HistoryProblem>(opened));
            const auto& problem = std::get<HistoryProblem>(opened);
            EXPECT_EQ(problem.path, path);
            EXPECT_NE(problem.reason.find(test.reason), std::string::npos) << problem.reason;
            EXPECT_NE(problem.message().find(path.string()), std::string::npos);
        }
        EXPECT_EQ(readBytes(path), before);
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            files.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(files, std::vector<std::string>{"history.sqlite"});
    }
}

TEST(HistoryFiles, RefusesAFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir / "history.sqlite");
    auto opened = HistoryStore::open(dir / "history.sqlite");
    ASSERT_TRUE(std::holds_alternative<HistoryProblem>(opened));
    EXPECT_EQ(std::get<HistoryProblem>(opened).reason, "is a folder, not a file");
}

// The first store kept only its raw results; opening it replays them into the
// tables of today, so changes and the timeline go on where they left off.
TEST(HistoryFiles, UpgradesAVersion1StoreInPlace) {
    TempDir dir;
    const auto path = dir / "history.sqlite";
    makeDatabase(path, R"sql(
        PRAGMA application_id = 1332966518;
        PRAGMA user_version = 1;
        CREATE TABLE runs (id INTEGER PRIMARY KEY, started_at INTEGER NOT NULL,
                           duration_ms INTEGER NOT NULL);
        CREATE TABLE results (run_id INTEGER NOT NULL, address TEXT NOT NULL,
                              zone TEXT NOT NULL, verdict TEXT NOT NULL,
                              answers TEXT NOT NULL, reason TEXT NOT NULL);
        INSERT INTO runs VALUES (1, 1796083200000, 50), (2, 1796086800000, 60),
                                (3, 1796090400000, 70);
        INSERT INTO results VALUES
            (1, '192.0.2.1', 'bl.test', 'listed', '127.0.0.2', 'spam trap hit'),
            (1, '192.0.2.2', 'bl.test', 'listed', '127.0.0.3', 'open relay'),
            (2, '192.0.2.1', 'bl.test', 'no-answer', '', ''),
            (2, '192.0.2.2', 'bl.test', 'not-listed', '', ''),
            (3, '192.0.2.1', 'bl.test', 'listed', '127.0.0.2', 'spam trap hit again'),
            (3, '192.0.2.2', 'bl.test', 'not-listed', '', '');
    )sql");
    {
        HistoryStore store = openStore(path);
        EXPECT_EQ(periodsOf(store),
                  (std::vector<ListingPeriod>{
                      {"192.0.2.1", "bl.test", kDecember1, std::nullopt, "spam trap hit"},
                      {"192.0.2.2", "bl.test", kDecember1, kDecember1 + kHourMs, "open relay"},
                  }));
        const CheckRun next =
            checkRun(store, runOf(kDecember1 + 3 * kHourMs,
                                  {resultOf("192.0.2.1", "bl.test", CheckVerdict::Listed)}));
        EXPECT_EQ(next.results[0].change, ListingChange::Ongoing);
        EXPECT_EQ(next.results[0].since, kDecember1);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT (SELECT user_version FROM pragma_user_version), "
                       "(SELECT count(*) FROM runs), (SELECT count(*) FROM results), "
                       "(SELECT count(*) FROM sqlite_schema WHERE name LIKE 'v1_%')",
                       -1, &query, nullptr);
    ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(query, 0), kHistorySchemaVersion);
    EXPECT_EQ(sqlite3_column_int(query, 1), 4);
    EXPECT_EQ(sqlite3_column_int(query, 2), 7);
    EXPECT_EQ(sqlite3_column_int(query, 3), 0);
    sqlite3_finalize(query);
    sqlite3_close(db);
}

}  // namespace
}  // namespace ostrivane
