#include "history/history_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "core/ip_address.h"
#include "history/day_states.h"
#include "history/history_schema.h"
#include "history/listing_streak.h"
#include "history/run_writer.h"
#include "history/sqlite_statement.h"

namespace ostrivane {

namespace {

// Another run's transaction lasts milliseconds; this bounds the wait for one
// that hangs.
constexpr int kBusyTimeoutMs = 10000;
constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};

enum class FileKind { Missing, Empty, Sqlite };
using Inspection = std::variant<FileKind, std::string>;  // or why it is refused

// Looks at the file before SQLite does: SQLite would take a file that is not
// a database for a new one as long as nothing is written, and the first write
// would destroy what the file held.
// A link at the store's path or at one of SQLite's files beside it would
// make the check write wherever the link points: into another store, or turn
// any file into a database.
std::optional<std::string> linkRefusal(const std::filesystem::path& path) {
    for (const char* suffix : {"", "-wal", "-journal", "-shm"}) {
        const std::filesystem::path file = path.string() + suffix;
        std::error_code error;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, error))) {
            return (*suffix ? "has a symbolic link beside it, " + file.string() + "; "
                            : std::string("is a symbolic link; ")) +
                   "a history is never written through a link";
        }
    }
    return std::nullopt;
}

Inspection inspectFile(const std::filesystem::path& path) {
    if (auto refusal = linkRefusal(path)) {
        return *refusal;
    }
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return FileKind::Missing;
    }
    if (error) {
        return error.message();
    }
    if (status.type() == std::filesystem::file_type::directory) {
        return std::string("is a folder, not a file");
    }
    if (status.type() != std::filesystem::file_type::regular) {
        return std::string("is not a regular file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::string("cannot be read: ") + std::strerror(errno);
    }
    std::array<char, 16> header{};
    in.read(header.data(), header.size());
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) {
        return FileKind::Empty;
    }
    if (got < header.size() || std::string_view(header.data(), header.size()) != kSqliteMagic) {
        return std::string(
            "is not an SQLite database (it does not begin with \"SQLite format 3\")");
    }
    return FileKind::Sqlite;
}

std::string reasonOf(const sqlite::SqliteError& error) {
    switch (error.code() & 0xff) {
        case SQLITE_FULL:
            return "the disk is full (" + std::string(error.what()) + ")";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return "is damaged (" + std::string(error.what()) + ")";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "another run held it for more than " + std::to_string(kBusyTimeoutMs / 1000) +
                   " s (" + std::string(error.what()) + ")";
        default:
            return error.what();
    }
}

struct Layout {
    std::int64_t tables = 0;
    std::int64_t applicationId = 0;
    std::int64_t version = 0;
};

Layout layoutOf(sqlite3* db) {
    return {sqlite::queryInteger(db, "SELECT count(*) FROM sqlite_schema"),
            sqlite::queryInteger(db, "PRAGMA application_id"),
            sqlite::queryInteger(db, "PRAGMA user_version")};
}

// An empty database that no program has claimed. Another program's empty
// database carries its own application id and is not taken over.
bool isFresh(const Layout& layout) {
    return layout.tables == 0 && layout.version == 0 && layout.applicationId == 0;
}

// A damaged page is found before anything is written: the file is refused as
// it is.
std::optional<std::string> damage(sqlite3* db) {
    sqlite::Statement check(db, "PRAGMA quick_check(5)");
    std::string found;
    while (check.step()) {
        const std::string line = check.text(0);
        if (line != "ok") {
            found += (found.empty() ? "" : "; ") + line;
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    return "is damaged (" + found + ")";
}

// Why a database with this layout is not a store this program may use, if it is not.
std::optional<std::string> refusalOf(const Layout& layout) {
    if (isFresh(layout)) {
        return std::nullopt;
    }
    if (layout.applicationId != schema::kApplicationId) {
        return "is an SQLite database of another program (application id " +
               std::to_string(layout.applicationId) + "), not an Ostrivane history";
    }
    if (layout.version > kHistorySchemaVersion) {
        return "was written by a newer Ostrivane (history version " +
               std::to_string(layout.version) + "; this one knows up to " +
               std::to_string(kHistorySchemaVersion) + ")";
    }
    if (layout.version < 1) {
        return "has no history version";
    }
    return std::nullopt;
}

// Commits on success; rolls back when left by an exception.
class Transaction {
  public:
    Transaction(sqlite3* db, std::string_view begin) : m_db(db) { sqlite::execute(db, begin); }
    ~Transaction() {
        if (!m_done && sqlite3_get_autocommit(m_db) == 0) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        sqlite::execute(m_db, "COMMIT");
        m_done = true;
    }

  private:
    sqlite3* m_db;
    bool m_done = false;
};

// Sorts addresses as numbers: 192.0.2.9 before 192.0.2.10, IPv4 before IPv6,
// and text that is no address after them all.
std::tuple<bool, IpAddress, std::string> addressKey(const std::string& text) {
    if (const auto address = parseIpAddress(text)) {
        return {false, *address, {}};
    }
    return {true, IpAddress{}, text};
}

// Refuses a file that is not this program's store; else switches it to a
// write-ahead log and creates or upgrades its tables. Reading the layout is the
// first thing that touches the pages: a damaged file fails there, before
// anything is written to it.
std::optional<std::string> prepareForWriting(sqlite3* db) {
    const Layout layout = layoutOf(db);
    if (auto refusal = refusalOf(layout)) {
        return refusal;
    }
    if (auto damaged = damage(db)) {
        return damaged;
    }
    if (sqlite::queryText(db, "PRAGMA journal_mode") != "wal" &&
        sqlite::queryText(db, "PRAGMA journal_mode = WAL") != "wal") {
        return "cannot keep a write-ahead log beside it";
    }
    // The log is emptied at each checkpoint; this keeps its file small too.
    sqlite::execute(db, "PRAGMA synchronous = NORMAL; PRAGMA journal_size_limit = 1048576");
    if (layout.version != kHistorySchemaVersion) {
        Transaction transaction(db, "BEGIN IMMEDIATE");
        const Layout now = layoutOf(db);
        if (auto refusal = refusalOf(now)) {
            return refusal;
        }
        if (isFresh(now)) {
            schema::create(db);
        } else if (now.version < kHistorySchemaVersion) {
            schema::upgrade(db, static_cast<int>(now.version));
        }
        transaction.commit();
        if (now.version == 2) {
            // The dropped results leave most pages free: give them back once.
            // The store works as well when this fails (the disk is full).
            sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
        }
    }
    return std::nullopt;
}

}  // namespace

HistoryStore::HistoryStore(sqlite3* db, std::filesystem::path path)
    : m_db(db), m_path(std::move(path)) {}

HistoryStore::HistoryStore(HistoryStore&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_path(std::move(other.m_path)) {}

HistoryStore& HistoryStore::operator=(HistoryStore&& other) noexcept {
    if (this != &other) {
        sqlite3_close(m_db);
        m_db = std::exchange(other.m_db, nullptr);
        m_path = std::move(other.m_path);
    }
    return *this;
}

HistoryStore::~HistoryStore() {
    sqlite3_close(m_db);
}

HistoryProblem HistoryStore::problem(const std::string& reason) const {
    return {m_path, reason};
}

std::variant<HistoryStore, HistoryProblem> HistoryStore::open(const std::filesystem::path& path) {
    const Inspection inspection = inspectFile(path);
    if (const auto* refusal = std::get_if<std::string>(&inspection)) {
        return HistoryProblem{path, *refusal};
    }
    const bool missing = std::get<FileKind>(inspection) == FileKind::Missing;
    if (missing && path.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            return HistoryProblem{path, "cannot create the folder " + path.parent_path().string() +
                                            ": " + error.message()};
        }
    }

    sqlite3* db = nullptr;
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | (missing ? SQLITE_OPEN_CREATE : 0);
    if (const int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr); code != SQLITE_OK) {
        std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close(db);
        return HistoryProblem{path, "cannot be opened: " + reason};
    }
    HistoryStore store(db, path);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (sqlite3_db_readonly(db, "main") == 1) {
        return HistoryProblem{path, "cannot be written (no permission to write it)"};
    }
    // Two first runs at once race to make the tables and to switch the file
    // to its write-ahead log; SQLite answers the loser "busy" at once, without
    // waiting, so the loser waits here and looks again.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        try {
            if (auto refusal = prepareForWriting(db)) {
                return HistoryProblem{path, *refusal};
            }
            return store;
        } catch (const sqlite::SqliteError& error) {
            const int code = error.code() & 0xff;
            if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
                std::chrono::steady_clock::now() > deadline) {
                return HistoryProblem{path, reasonOf(error)};
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::variant<HistoryStore, HistoryProblem> HistoryStore::openReadOnly(
    const std::filesystem::path& path) {
    const Inspection inspection = inspectFile(path);
    if (const auto* refusal = std::get_if<std::string>(&inspection)) {
        return HistoryProblem{path, *refusal};
    }
    if (std::get<FileKind>(inspection) != FileKind::Sqlite) {
        return HistoryProblem{path, "holds no history yet (no check has recorded a run in it)"};
    }
    sqlite3* db = nullptr;
    if (const int code = sqlite3_open_v2(path.c_str(), &db,
                                         SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr);
        code != SQLITE_OK) {
        std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close(db);
        return HistoryProblem{path, "cannot be opened: " + reason};
    }
    HistoryStore store(db, path);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    try {
        const Layout layout = layoutOf(db);
        if (isFresh(layout)) {
            return HistoryProblem{path, "holds no history yet (no check has recorded a run in it)"};
        }
        if (auto refusal = refusalOf(layout)) {
            return HistoryProblem{path, *refusal};
        }
        if (auto damaged = damage(db)) {
            return HistoryProblem{path, *damaged};
        }
        if (layout.version < kHistorySchemaVersion) {
            return HistoryProblem{path, "is of an older history version (" +
                                            std::to_string(layout.version) +
                                            "); the next check run upgrades it"};
        }
    } catch (const sqlite::SqliteError& error) {
        return HistoryProblem{path, reasonOf(error)};
    }
    return store;
}

std::optional<HistoryProblem> HistoryStore::annotate(CheckRun& run) const {
    return annotate(run.results, run.startedAt);
}

std::optional<HistoryProblem> HistoryStore::annotate(std::vector<CheckResult>& results,
                                                     EpochMs startedAt) const {
    std::vector<StreakChange> changes;
    changes.reserve(results.size());
    try {
        // Inside a run being recorded, its transaction holds; else one of its own.
        std::optional<Transaction> transaction;
        if (sqlite3_get_autocommit(m_db) != 0) {
            transaction.emplace(m_db, "BEGIN");
        }
        sqlite::Statement find(
            m_db,
            "SELECT listed, known_at, listed_since FROM subjects WHERE address = ?1 AND zone = ?2");
        for (const auto& result : results) {
            ListingStreak streak;
            find.bind(1, result.address).bind(2, result.zone);
            if (find.step()) {
                if (auto listed = find.optionalInteger(0)) {
                    streak.listed = *listed != 0;
                }
                streak.knownAt = find.optionalInteger(1);
                streak.listedSince = find.optionalInteger(2);
            }
            find.reset();
            changes.push_back(changeOf(streak, result.verdict, startedAt));
        }
        if (transaction) {
            transaction->commit();
        }
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        results[i].change = changes[i].change;
        results[i].since = changes[i].since;
    }
    return std::nullopt;
}

struct RunRecording::Open {
    Open(sqlite3* db, EpochMs startedAt)
        : transaction(db, "BEGIN IMMEDIATE"), recorder(db, startedAt) {}
    Transaction transaction;
    RunRecorder recorder;
};

RunRecording::RunRecording(std::filesystem::path path, std::unique_ptr<Open> open)
    : m_path(std::move(path)), m_open(std::move(open)) {}

RunRecording::~RunRecording() = default;

std::optional<HistoryProblem> RunRecording::add(const std::vector<CheckResult>& results) {
    try {
        m_open->recorder.add(results);
    } catch (const sqlite::SqliteError& error) {
        m_open.reset();  // rolled back
        return HistoryProblem{m_path, reasonOf(error) +
                                          "; this run was not recorded, the history before "
                                          "it is kept"};
    }
    return std::nullopt;
}

std::optional<HistoryProblem> RunRecording::commit(const CheckRun& run) {
    try {
        m_open->recorder.finish(run);
        m_open->transaction.commit();
    } catch (const sqlite::SqliteError& error) {
        m_open.reset();
        return HistoryProblem{m_path, reasonOf(error) +
                                          "; this run was not recorded, the history before "
                                          "it is kept"};
    }
    return std::nullopt;
}

std::variant<std::unique_ptr<RunRecording>, HistoryProblem> HistoryStore::beginRun(
    EpochMs startedAt) {
    try {
        auto open = std::make_unique<RunRecording::Open>(m_db, startedAt);
        return std::unique_ptr<RunRecording>(new RunRecording(m_path, std::move(open)));
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error) +
                       "; this run was not recorded, the history before it is kept");
    }
}

std::optional<HistoryProblem> HistoryStore::record(const CheckRun& run) {
    try {
        Transaction transaction(m_db, "BEGIN IMMEDIATE");
        writeRun(m_db, run);
        transaction.commit();
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error) +
                       "; this run was not recorded, the history before it is kept");
    }
    return std::nullopt;
}

std::optional<HistoryProblem> HistoryStore::prune(EpochMs olderThan) {
    try {
        Transaction transaction(m_db, "BEGIN IMMEDIATE");
        for (const char* sql : {
                 "DELETE FROM runs WHERE started_at < ?1",
                 // A zone's changes before its current health began.
                 "DELETE FROM zone_changes WHERE at < ?1 AND at < (SELECT since FROM zones z "
                 "WHERE z.zone = zone_changes.zone)",
                 "DELETE FROM zone_changes WHERE zone IN "
                 "(SELECT zone FROM zones WHERE checked_at < ?1)",
                 "DELETE FROM zones WHERE checked_at < ?1",
                 "DELETE FROM periods WHERE ended_at < ?1",
                 // What no run has checked since: forgotten with its listings,
                 // so a check after the gap starts afresh.
                 "DELETE FROM periods WHERE subject_id IN "
                 "(SELECT id FROM subjects WHERE checked_at < ?1)",
                 "DELETE FROM subjects WHERE checked_at < ?1",
                 "DELETE FROM targets WHERE last_run_at < ?1",
             }) {
            sqlite::Statement statement(m_db, sql);
            statement.bind(1, olderThan).run();
        }
        transaction.commit();
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error) + "; nothing was deleted");
    }
    return std::nullopt;
}

std::variant<std::vector<ListingPeriod>, HistoryProblem> HistoryStore::timeline(
    const std::vector<std::string>& addresses) const {
    std::vector<ListingPeriod> periods;
    try {
        Transaction transaction(m_db, "BEGIN");
        constexpr std::string_view kSelect =
            "SELECT s.address, s.zone, p.started_at, p.ended_at, p.reason "
            "FROM subjects s JOIN periods p ON p.subject_id = s.id";
        sqlite::Statement all(m_db, kSelect);
        sqlite::Statement ofAddress(m_db, std::string(kSelect) + " WHERE s.address = ?1");
        auto collect = [&periods](sqlite::Statement& query) {
            while (query.step()) {
                periods.push_back({query.text(0), query.text(1), query.integer(2),
                                   query.optionalInteger(3), query.text(4)});
            }
            query.reset();
        };
        if (addresses.empty()) {
            collect(all);
        }
        for (const auto& address : addresses) {
            ofAddress.bind(1, address);
            collect(ofAddress);
        }
        transaction.commit();
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
    std::sort(periods.begin(), periods.end(), [](const ListingPeriod& a, const ListingPeriod& b) {
        return std::forward_as_tuple(addressKey(a.address), a.zone, a.from) <
               std::forward_as_tuple(addressKey(b.address), b.zone, b.from);
    });
    periods.erase(std::unique(periods.begin(), periods.end()), periods.end());
    return periods;
}

std::variant<std::vector<std::string>, HistoryProblem> HistoryStore::addressesOfTarget(
    const std::string& target) const {
    std::vector<std::string> addresses;
    try {
        sqlite::Statement query(m_db, "SELECT address FROM targets WHERE target = ?1");
        query.bind(1, target);
        while (query.step()) {
            addresses.push_back(query.text(0));
        }
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
    return addresses;
}

std::variant<bool, HistoryProblem> HistoryStore::knowsAddress(const std::string& address) const {
    try {
        sqlite::Statement query(m_db, "SELECT 1 FROM subjects WHERE address = ?1 LIMIT 1");
        query.bind(1, address);
        return query.step();
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
}

std::variant<RecentDays, HistoryProblem> HistoryStore::recentDays(EpochMs now, int dayCount) const {
    RecentDays recent;
    recent.dayCount = std::max(dayCount, 1);
    const std::int64_t firstDay = dayNumberOf(now) - (recent.dayCount - 1);
    recent.firstDay = firstDay * kDayMs;
    try {
        sqlite::Statement query(
            m_db, "SELECT address, zone, last_day, days FROM subjects WHERE last_day >= ?1");
        query.bind(1, firstDay);
        while (query.step()) {
            const DayRecord record{query.integer(2), query.text(3)};
            DayStrip strip{query.text(0), query.text(1), {}};
            for (int day = 0; day < recent.dayCount; ++day) {
                strip.days.push_back(stateOn(record, firstDay + day));
            }
            recent.strips.push_back(std::move(strip));
        }
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
    std::stable_sort(recent.strips.begin(), recent.strips.end(),
                     [](const DayStrip& a, const DayStrip& b) {
                         return std::forward_as_tuple(addressKey(a.address), a.zone) <
                                std::forward_as_tuple(addressKey(b.address), b.zone);
                     });
    return recent;
}

}  // namespace ostrivane
