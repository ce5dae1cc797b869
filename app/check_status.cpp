#include "app/check_status.h"

#include <cstddef>

#include "app/exit_status.h"

namespace ostrivane {

namespace {

int nagiosState(const CheckRun& run, const CheckOptions& options, const CheckCounts& counts) {
    const auto listed = static_cast<double>(counts.listed);
    if (alerts(options.critical, listed)) {
        return kNagiosCritical;
    }
    if (options.warning && alerts(*options.warning, listed)) {
        return kNagiosWarning;
    }
    if (!run.unresolvedTargets.empty() || counts.addresses == 0) {
        return kNagiosUnknown;
    }
    const bool incomplete = counts.incomplete() > 0 || !run.unansweredTargets.empty();
    return incomplete ? kNagiosWarning : kNagiosOk;
}

int textStatus(const CheckRun& run, const CheckOptions& options, const CheckCounts& counts) {
    if (options.changes) {
        return counts.newListings > 0 ? kExitListed : kExitClean;
    }
    if (counts.listed > 0) {
        return kExitListed;
    }
    if (!run.unresolvedTargets.empty()) {
        return kExitUnresolved;
    }
    const bool incomplete = counts.incomplete() > 0 || !run.unansweredTargets.empty();
    return incomplete ? kExitIncomplete : kExitClean;
}

}  // namespace

int checkExitStatus(const CheckRun& run, const CheckOptions& options,
                    const HistoryAndPageOutcome& outcome) {
    const CheckCounts counts = countsOf(run);
    if (options.format == CheckFormat::Nagios) {
        const int state = nagiosState(run, options, counts);
        return state == kNagiosOk && !outcome.pageWritten ? kNagiosUnknown : state;
    }
    if (options.changes && outcome.changesUnknown) {
        return kExitFailed;
    }
    const int status = textStatus(run, options, counts);
    return status == kExitClean && !outcome.pageWritten ? kExitFailed : status;
}

}  // namespace ostrivane
