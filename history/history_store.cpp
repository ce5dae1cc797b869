#include "history/history_store.h"

#include <sqlite3.h>

#include <utility>

#include "history/listing_streak.h"
#include "history/run_writer.h"
#include "history/sqlite_statement.h"
#include "history/store_file.h"
#include "history/store_reads.h"

namespace ostrivane {

namespace {

// A run that could not be recorded leaves the store as it was.
std::string notRecorded(const sqlite::SqliteError& error) {
    return reasonOf(error) + "; this run was not recorded, the history before it is kept";
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
    auto opened = openStoreForWriting(path);
    if (auto* refusal = std::get_if<std::string>(&opened)) {
        return HistoryProblem{path, *refusal};
    }
    return HistoryStore(std::get<Connection>(opened).release(), path);
}

std::variant<HistoryStore, HistoryProblem> HistoryStore::openReadOnly(
    const std::filesystem::path& path) {
    auto opened = openStoreForReading(path);
    if (auto* refusal = std::get_if<std::string>(&opened)) {
        return HistoryProblem{path, *refusal};
    }
    return HistoryStore(std::get<Connection>(opened).release(), path);
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
        std::optional<sqlite::Transaction> transaction;
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
    sqlite::Transaction transaction;
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
        return HistoryProblem{m_path, notRecorded(error)};
    }
    return std::nullopt;
}

std::optional<HistoryProblem> RunRecording::commit(const CheckRun& run) {
    try {
        m_open->recorder.finish(run);
        m_open->transaction.commit();
    } catch (const sqlite::SqliteError& error) {
        m_open.reset();
        return HistoryProblem{m_path, notRecorded(error)};
    }
    return std::nullopt;
}

std::variant<std::unique_ptr<RunRecording>, HistoryProblem> HistoryStore::beginRun(
    EpochMs startedAt) {
    try {
        auto open = std::make_unique<RunRecording::Open>(m_db, startedAt);
        return std::unique_ptr<RunRecording>(new RunRecording(m_path, std::move(open)));
    } catch (const sqlite::SqliteError& error) {
        return problem(notRecorded(error));
    }
}

std::optional<HistoryProblem> HistoryStore::record(const CheckRun& run) {
    try {
        sqlite::Transaction transaction(m_db, "BEGIN IMMEDIATE");
        writeRun(m_db, run);
        transaction.commit();
    } catch (const sqlite::SqliteError& error) {
        return problem(notRecorded(error));
    }
    return std::nullopt;
}

std::optional<HistoryProblem> HistoryStore::prune(EpochMs olderThan) {
    try {
        sqlite::Transaction transaction(m_db, "BEGIN IMMEDIATE");
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
    try {
        return readTimeline(m_db, addresses);
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
}

std::variant<std::vector<std::string>, HistoryProblem> HistoryStore::addressesOfTarget(
    const std::string& target) const {
    try {
        return readAddressesOfTarget(m_db, target);
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
}

std::variant<bool, HistoryProblem> HistoryStore::knowsAddress(const std::string& address) const {
    try {
        return readKnowsAddress(m_db, address);
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
}

std::variant<RecentDays, HistoryProblem> HistoryStore::recentDays(EpochMs now, int dayCount) const {
    try {
        return readRecentDays(m_db, now, dayCount);
    } catch (const sqlite::SqliteError& error) {
        return problem(reasonOf(error));
    }
}

}  // namespace ostrivane
