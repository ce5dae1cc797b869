#pragma once

// The exit status of `ostrivane --check`, decided in one place.

#include "results/check_options.h"
#include "results/check_result.h"

namespace ostrivane {

// What came of the history and the page after the lists were asked, as far
// as the status must show it.
struct HistoryAndPageOutcome {
    bool changesUnknown = false;  // --changes without a history to compare with
    bool pageWritten = true;      // --page was written, or not asked for
};

// text and json: 1 listed, else 2 unresolved, else 4 incomplete, else 0; with
// --changes, 1 when any listing is new, else 0, and 3 when nobody can say what
// changed. nagios: CRITICAL and WARNING from the thresholds' listings, UNKNOWN
// when a target did not resolve or nothing was checked, WARNING when a verdict
// is missing, else OK. A status page that was not written turns an all-clear
// into 3 (UNKNOWN).
int checkExitStatus(const CheckRun& run, const CheckOptions& options,
                    const HistoryAndPageOutcome& outcome = {});

}  // namespace ostrivane
