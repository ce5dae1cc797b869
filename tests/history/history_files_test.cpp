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

// A store whose first pages read well and whose table has a page of garbage:
// only a check of every page finds it.
std::string storeWithADamagedPage() {
    TempDir dir;
    makeDatabase(dir / "made.sqlite",
                 "PRAGMA page_size = 4096; PRAGMA application_id = 1332966518; "
                 "PRAGMA user_version = 3; CREATE TABLE runs (id INTEGER PRIMARY KEY, b BLOB); "
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
                 "INSERT INTO runs SELECT i, randomblob(200) FROM n;");
    std::string bytes = readBytes(dir / "made.sqlite");
    bytes.replace(5 * 4096, 4096, std::string(4096, '\xee'));
    return bytes;
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
        {"a damaged page deep inside", storeWithADamagedPage(), nullptr, "is damaged"},
        {"another program's empty database", "", "PRAGMA application_id = 1234", "another program"},
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

// A link at the store's path, or at the files SQLite keeps beside it, is
// refused and named; nothing is written where it points.
TEST(HistoryFiles, RefusesSymbolicLinksAtThePathAndBesideIt) {
    struct Case {
        const char* name;
        const char* link;    // the link, made beside history.sqlite
        bool targetIsStore;  // the link points to another store, else to an empty file
    };
    const Case cases[] = {
        {"a link to an empty file", "history.sqlite", false},
        {"a link to another store", "history.sqlite", true},
        {"a link as its write-ahead log", "history.sqlite-wal", false},
        {"a link as its journal", "history.sqlite-journal", false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TempDir dir;
        const auto target = dir / "elsewhere.sqlite";
        if (test.targetIsStore) {
            HistoryStore other = openStore(target);
            checkRun(other,
                     runOf(kDecember1, {resultOf("192.0.2.1", "bl.test", CheckVerdict::Listed)}));
        } else {
            writeBytes(target, "");
        }
        const std::string before = readBytes(target);
        std::filesystem::create_symlink(target, dir / test.link);
        const auto path = dir / "history.sqlite";
        for (const bool readOnly : {false, true}) {
            auto opened = readOnly ? HistoryStore::openReadOnly(path) : HistoryStore::open(path);
            ASSERT_TRUE(std::holds_alternative<HistoryProblem>(opened));
            const auto& problem = std::get<HistoryProblem>(opened);
            EXPECT_NE(problem.message().find((dir / test.link).string()), std::string::npos)
                << problem.message();
            EXPECT_NE(problem.reason.find("symbolic link"), std::string::npos) << problem.reason;
        }
        EXPECT_EQ(readBytes(target), before);
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
                       "(SELECT count(*) FROM runs), (SELECT sum(result_count) FROM runs), "
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

// The second store kept every result of every run. Opening it keeps every
// run, listing and target, derives the counts, the day letters and the zones'
// changes, and drops the results.
TEST(HistoryFiles, UpgradesAVersion2StoreInPlaceKeepingEveryPeriod) {
    TempDir dir;
    const auto path = dir / "history.sqlite";
    makeDatabase(path, R"sql(
        PRAGMA application_id = 1332966518;
        PRAGMA user_version = 2;
        CREATE TABLE runs (
            id INTEGER PRIMARY KEY,
            started_at INTEGER NOT NULL,
            duration_ms INTEGER NOT NULL,
            result_count INTEGER NOT NULL,
            unresolved_targets TEXT NOT NULL DEFAULT ''
        );
        CREATE INDEX runs_by_start ON runs (started_at);
        CREATE TABLE run_zones (
            run_id INTEGER NOT NULL,
            position INTEGER NOT NULL,
            zone TEXT NOT NULL,
            name TEXT NOT NULL,
            health TEXT NOT NULL,
            PRIMARY KEY (run_id, position)
        ) WITHOUT ROWID;
        CREATE TABLE subjects (
            id INTEGER PRIMARY KEY,
            address TEXT NOT NULL,
            zone TEXT NOT NULL,
            checked_at INTEGER NOT NULL,
            listed INTEGER,
            known_at INTEGER,
            listed_since INTEGER,
            open_period INTEGER,
            UNIQUE (address, zone)
        );
        CREATE TABLE results (
            run_id INTEGER NOT NULL,
            subject_id INTEGER NOT NULL,
            verdict TEXT NOT NULL,
            answers TEXT NOT NULL,
            reason TEXT NOT NULL,
            PRIMARY KEY (run_id, subject_id)
        ) WITHOUT ROWID;
        CREATE TABLE periods (
            id INTEGER PRIMARY KEY,
            subject_id INTEGER NOT NULL,
            started_at INTEGER NOT NULL,
            ended_at INTEGER,
            answers TEXT NOT NULL,
            reason TEXT NOT NULL
        );
        CREATE INDEX periods_by_subject ON periods (subject_id, started_at);
        CREATE INDEX periods_by_end ON periods (ended_at);
        CREATE TABLE targets (
            target TEXT NOT NULL COLLATE NOCASE,
            address TEXT NOT NULL,
            last_run_at INTEGER NOT NULL,
            PRIMARY KEY (target, address)
        ) WITHOUT ROWID;
        INSERT INTO runs VALUES (1, 1796083200000, 50, 3, ''), (2, 1796086800000, 60, 3, ''),
                                (3, 1796176800000, 70, 2, 'gone.example');
        INSERT INTO run_zones VALUES (1, 0, 'bl.test', 'BL', 'healthy'),
                                     (2, 0, 'bl.test', 'BL', 'lists-everything'),
                                     (3, 0, 'bl.test', 'BL', 'healthy');
        INSERT INTO subjects VALUES
            (1, '192.0.2.1', 'bl.test', 1796176800000, 1, 1796176800000, 1796083200000, 1),
            (2, '192.0.2.2', 'bl.test', 1796176800000, 0, 1796176800000, NULL, NULL),
            (3, '192.0.2.3', 'bl.test', 1796086800000, NULL, NULL, NULL, NULL);
        INSERT INTO results VALUES
            (1, 1, 'listed', '127.0.0.2', 'spam trap hit'), (1, 2, 'listed', '127.0.0.3', 'relay'),
            (1, 3, 'no-answer', '', ''), (2, 1, 'no-answer', '', ''),
            (2, 2, 'not-listed', '', ''), (2, 3, 'no-answer', '', ''),
            (3, 1, 'listed', '127.0.0.2', 'spam trap hit again'), (3, 2, 'not-listed', '', '');
        INSERT INTO periods VALUES (1, 1, 1796083200000, NULL, '127.0.0.2', 'spam trap hit'),
                                   (2, 2, 1796083200000, 1796086800000, '127.0.0.3', 'relay'),
                                   (3, 2, 1795996800000, 1796000400000, '127.0.0.3', 'older');
        INSERT INTO targets VALUES ('mail.example', '192.0.2.1', 1796176800000);
    )sql");
    const EpochMs day = 24 * kHourMs;
    {
        HistoryStore store = openStore(path);
        EXPECT_EQ(
            periodsOf(store),
            (std::vector<ListingPeriod>{
                {"192.0.2.1", "bl.test", kDecember1, std::nullopt, "spam trap hit"},
                {"192.0.2.2", "bl.test", kDecember1 - day, kDecember1 - 23 * kHourMs, "older"},
                {"192.0.2.2", "bl.test", kDecember1, kDecember1 + kHourMs, "relay"},
            }));
        const auto recent = std::get<RecentDays>(store.recentDays(kDecember1 + day, 2));
        ASSERT_EQ(recent.strips.size(), 3u);
        using D = DayState;
        EXPECT_EQ(recent.strips[0].days, (std::vector<D>{D::Listed, D::Listed}));
        EXPECT_EQ(recent.strips[1].days, (std::vector<D>{D::Listed, D::Clear}));
        EXPECT_EQ(recent.strips[2].days, (std::vector<D>{D::Unknown, D::Unknown}));
        EXPECT_EQ(std::get<std::vector<std::string>>(store.addressesOfTarget("mail.example")),
                  std::vector<std::string>{"192.0.2.1"});
        const CheckRun next = checkRun(
            store,
            runOf(kDecember1 + 2 * day, {resultOf("192.0.2.1", "bl.test", CheckVerdict::Listed),
                                         resultOf("192.0.2.2", "bl.test", CheckVerdict::Listed)}));
        EXPECT_EQ(next.results[0].change, ListingChange::Ongoing);
        EXPECT_EQ(next.results[0].since, kDecember1);
        EXPECT_EQ(next.results[1].change, ListingChange::New);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(
        db,
        "SELECT (SELECT user_version FROM pragma_user_version), "
        "(SELECT group_concat(counts || '/' || new_listings || '/' || cleared, "
        "' | ') FROM runs), "
        "(SELECT group_concat(health, ' ') FROM zone_changes), "
        "(SELECT count(*) FROM sqlite_schema WHERE name IN ('results', 'run_zones'))",
        -1, &query, nullptr);
    ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(query, 0), kHistorySchemaVersion);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sqlite3_column_text(query, 1))),
              "listed=2 no-answer=1/2/0 | no-answer=2 not-listed=1/0/1 | "
              "listed=1 not-listed=1/0/0 | listed=2/1/0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sqlite3_column_text(query, 2))),
              "healthy lists-everything healthy");
    EXPECT_EQ(sqlite3_column_int(query, 3), 0);
    sqlite3_finalize(query);
    sqlite3_close(db);
}

}  // namespace
}  // namespace ostrivane
