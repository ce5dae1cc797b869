#pragma once

// The history of `ostrivane --check` runs, kept in one SQLite file (see
// history_schema.cpp for the tables). Every run is recorded whole in one
// transaction or not at all; a file that is not a history store, or that
// SQLite cannot read, is refused and never written.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "history/day_states.h"
#include "history/history_path.h"
#include "results/check_result.h"

struct sqlite3;

namespace ostrivane {

// One listing of an address by a zone, from the first run that found it listed
// to the first run that found it not listed (none while it lasts).
struct ListingPeriod {
    std::string address;
    std::string zone;
    EpochMs from = 0;
    std::optional<EpochMs> to;
    std::string reason;  // the zone's reason at the start of the listing
    friend bool operator==(const ListingPeriod&, const ListingPeriod&) = default;
};

struct DayStrip {
    std::string address;
    std::string zone;
    std::vector<DayState> days;  // oldest first, one per day of RecentDays
};

struct RecentDays {
    EpochMs firstDay = 0;  // 00:00 UTC of the oldest day
    int dayCount = 0;
    std::vector<DayStrip> strips;  // only the address × zone pairs that have a result
};

// The version of the tables this program writes (PRAGMA user_version).
inline constexpr int kHistorySchemaVersion = 3;

// A run recorded as its results come (HistoryStore::beginRun): one
// transaction, open until commit; a problem, or the end without commit, rolls
// the whole run back, so the store holds all of the run or none of it.
class RunRecording {
  public:
    ~RunRecording();
    RunRecording(const RunRecording&) = delete;
    RunRecording& operator=(const RunRecording&) = delete;

    // One address's results, annotated. Not after a problem.
    std::optional<HistoryProblem> add(const std::vector<CheckResult>& results);
    // The run's row of counts and its zones, and the transaction committed.
    std::optional<HistoryProblem> commit(const CheckRun& run);

  private:
    friend class HistoryStore;
    struct Open;
    RunRecording(std::filesystem::path path, std::unique_ptr<Open> open);
    std::filesystem::path m_path;
    std::unique_ptr<Open> m_open;
};

class HistoryStore {
  public:
    // Read-write, for a check run. Creates the folder and the file on first
    // use; upgrades a store of an older version in place. Refuses, without
    // writing a byte, a file that is not SQLite, an SQLite file of another
    // program, a store of a newer version, and a file SQLite cannot read.
    static std::variant<HistoryStore, HistoryProblem> open(const std::filesystem::path& path);
    // For reading only (the timeline): the file must exist and be current.
    static std::variant<HistoryStore, HistoryProblem> openReadOnly(
        const std::filesystem::path& path);

    HistoryStore(HistoryStore&& other) noexcept;
    HistoryStore& operator=(HistoryStore&& other) noexcept;
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;
    ~HistoryStore();

    const std::filesystem::path& path() const { return m_path; }

    // Sets change and since of every result from the state its address and
    // zone were left in by the earlier runs (see listing_streak.h). On a
    // problem the results are left as they were.
    std::optional<HistoryProblem> annotate(CheckRun& run) const;
    // The same for one address's results of a run started at `startedAt`.
    std::optional<HistoryProblem> annotate(std::vector<CheckResult>& results,
                                           EpochMs startedAt) const;

    // The run, its zones and all its results, in one transaction: either all
    // of it is in the store afterwards or none of it (a full disk, a kill).
    // Waits for another run's transaction up to the busy time-out.
    std::optional<HistoryProblem> record(const CheckRun& run);
    // The same, address by address (see RunRecording); waits likewise for
    // another run's transaction.
    std::variant<std::unique_ptr<RunRecording>, HistoryProblem> beginRun(EpochMs startedAt);

    // Deletes the runs that started before `olderThan` with their results,
    // the listing periods that ended before it, and what nothing refers to any
    // more. A listing still going on is kept however old its start.
    std::optional<HistoryProblem> prune(EpochMs olderThan);

    // Every listing period of the given addresses (all addresses when empty),
    // by address, zone and start.
    std::variant<std::vector<ListingPeriod>, HistoryProblem> timeline(
        const std::vector<std::string>& addresses) const;

    // The addresses that runs checked under this target (a host name, a block,
    // an address as the user typed it), for finding a host's history.
    std::variant<std::vector<std::string>, HistoryProblem> addressesOfTarget(
        const std::string& target) const;

    // Whether any run of the history checked this address (canonical text).
    std::variant<bool, HistoryProblem> knowsAddress(const std::string& address) const;

    // The last `dayCount` UTC days up to and including the day of `now`.
    std::variant<RecentDays, HistoryProblem> recentDays(EpochMs now, int dayCount = 30) const;

    // The connection, for tests that provoke faults (a size limit) and for tools.
    sqlite3* connection() const { return m_db; }

  private:
    HistoryStore(sqlite3* db, std::filesystem::path path);
    HistoryProblem problem(const std::string& reason) const;

    sqlite3* m_db = nullptr;
    std::filesystem::path m_path;
};

}  // namespace ostrivane
