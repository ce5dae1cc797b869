#pragma once

// Writing one run into the tables, inside the caller's transaction, and the
// text forms the tables keep.

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "results/check_result.h"

namespace ostrivane {

// Adds the run's row of counts, and moves on what it changed: each zone's
// health, the targets' addresses, and each address and zone's current state,
// day letters and listing periods. Returns the run's id.
std::int64_t writeRun(sqlite3* db, const CheckRun& run);

// The same for a run whose results come address by address, inside the
// caller's transaction: add each address's results (an address and zone once
// per run), then finish with the run's row and zones.
class RunRecorder {
  public:
    RunRecorder(sqlite3* db, EpochMs startedAt);
    ~RunRecorder();
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    void add(std::span<const CheckResult> results);
    // Returns the run's id.
    std::int64_t finish(const CheckRun& run);

  private:
    class Writer;
    std::unique_ptr<Writer> m_writer;
};

std::optional<CheckVerdict> parseCheckVerdict(std::string_view text);
std::string joinAnswers(const std::vector<std::string>& answers);
std::vector<std::string> splitAnswers(std::string_view text);

}  // namespace ostrivane
