#pragma once

// The three ways a check run is printed.

#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "results/check_options.h"
#include "results/check_result.h"

namespace ostrivane {

// 2026-12-07T16:12:42Z (milliseconds are dropped).
std::string formatRfc3339(EpochMs time);

// Prints a run while it goes on: text and json print each address's results
// as soon as the run streams them; nagios, whose status line comes first,
// keeps what that line and its long output need (bounded: the first
// kNagiosListingLines listings get a line each, the rest are counted) and
// prints at the end. What follows the results (the targets that did not
// resolve, the findings, the zones, the summary) is printed by finish.
class CheckPrinter {
  public:
    virtual ~CheckPrinter() = default;
    // One address's results, zones in order.
    virtual void address(std::span<const CheckResult> results) = 0;
    // The end: `run` counts every result, streamed or kept (countsOf).
    virtual void finish(const CheckRun& run, int status,
                        const std::vector<std::string>& problems) = 0;
};

inline constexpr std::size_t kNagiosListingLines = 200;

// The printer of the options' format (text, json or nagios; nothing for
// openmetrics, which metrics/ writes); `withChange`: the results carry their
// change against the history, so text shows its column.
std::unique_ptr<CheckPrinter> checkPrinter(const CheckOptions& options, EpochMs startedAt,
                                           bool withChange, std::ostream& out);

// The whole run at once, through the same printer. In the options' format; --quiet and --changes
// shape the text format. The nagios line names `status`, the state the run ends with (0 OK to 3
// UNKNOWN); text and json print the same whatever it is. `problems` (a history that could not be
// written, a page) go to nagios's long output, since a monitor reads nothing else; the other
// formats leave them to standard error.
void printCheckRun(const CheckRun& run, const CheckOptions& options, int status, std::ostream& out,
                   const std::vector<std::string>& problems = {});

}  // namespace ostrivane
