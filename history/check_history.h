#pragma once

// What a check run does with its history, in the order it does it: open the
// store before asking the lists, annotate the results before printing them,
// record and prune after, and read the days of the status page. Every problem
// is said on the error stream, naming the file and the reason, and the run
// goes on: a file that cannot be opened or read is never written; a failed
// write leaves the earlier history whole.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "results/check_result.h"

namespace ostrivane {

class CheckHistory {
  public:
    // The store at `file` (default: defaultHistoryPath()); none when disabled
    // (--no-history).
    static CheckHistory open(const std::optional<std::filesystem::path>& file, bool enabled,
                             std::ostream& err);

    // Sets change and since of every result.
    void annotate(CheckRun& run, std::ostream& err);

    // Records the run, then deletes what is older than `keepDays` days before
    // its start. Not after a failed annotate: the file is not to be trusted.
    void recordAndPrune(const CheckRun& run, int keepDays, std::ostream& err);

    // The same for a run whose results come address by address: begin before
    // the first address; take each address's results, annotated, then
    // recorded; end after the last with the run's row and zones, then the
    // prune. The run is recorded in one transaction, all of it or nothing.
    void beginRun(EpochMs startedAt, std::ostream& err);
    void take(std::vector<CheckResult>& results, std::ostream& err);
    void endRun(const CheckRun& run, int keepDays, std::ostream& err);
    // True when the results are being annotated (a store is open).
    bool annotates() const { return m_store.has_value(); }

    // The page's strips: the last 30 days up to `now`; none without a store.
    RecentDays recentDays(EpochMs now, std::ostream& err);

    // True when the results carry no changes: no history (disabled), or one
    // that could not be opened or read. --changes then exits with status 3.
    bool changesUnknown() const { return !m_annotated; }

    // Every problem said so far, for a monitor that reads standard output only.
    const std::vector<std::string>& problems() const { return m_problems; }

  private:
    void fail(const HistoryProblem& problem, std::ostream& err);

    std::vector<std::string> m_problems;

    void prune(const CheckRun& run, int keepDays, std::ostream& err);

    std::optional<HistoryStore> m_store;
    std::unique_ptr<RunRecording> m_recording;  // ends before the store closes
    bool m_annotated = false;
    EpochMs m_startedAt = 0;
};

}  // namespace ostrivane
