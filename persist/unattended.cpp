#include "persist/unattended.h"

#include <ostream>

#include "core/memory_table.h"
#include "core/standalone_view.h"
#include "core/verdict.h"
#include "core/zone_health.h"
#include "persist/report.h"
#include "persist/startup.h"

namespace ostrivane {

int exitStatusFor(const LookupSummary& summary) {
    switch (summary.outcome) {
        case LookupOutcome::NothingToLookUp:
            return kExitFailed;
        case LookupOutcome::HostUnresolved:
            return kExitUnresolved;
        case LookupOutcome::Abandoned:
            return kExitIncomplete;
        case LookupOutcome::Completed:
            break;
    }
    if (summary.listed > 0) {
        return kExitListed;
    }
    if (summary.listErrors > 0 || summary.unanswered > 0) {
        return kExitIncomplete;
    }
    return kExitClean;
}

namespace {

// The check goes on with the defaults, but a list the user cannot see being
// ignored would make every later report misleading.
MemoryTable startUpWarningOfProblems(const std::filesystem::path& listFile, std::ostream& errors) {
    MemoryTable table;
    const ListFileState list = startUp(table, listFile);
    if (list.loadProblem) {
        errors << "List file not read, checking the default blacklists instead: "
               << list.loadProblem->message() << '\n';
    }
    return table;
}

// An incomplete check is a failure someone has to look into, so each row
// without a verdict is named, with its zone, where cron will mail it.
void reportRowsWithoutVerdict(const BlacklistTable& table, std::ostream& errors) {
    for (int row = 0; row < kRowCount; ++row) {
        const std::string result = table.result(row);
        const VerdictKind kind = verdictKindOf(result);
        if (kind == VerdictKind::NoAnswer || kind == VerdictKind::ListError) {
            errors << "No verdict from " << table.zone(row) << " (" << table.name(row)
                   << "): " << result << '\n';
        }
    }
}

}  // namespace

int runUnattended(const UnattendedRun& run, Resolver& resolver, std::ostream& errors) {
    MemoryTable table = startUpWarningOfProblems(run.listFile, errors);

    StandaloneLookupView view(run.host, errors);
    const LookupSummary summary = LookupRun(table, view, resolver);
    if (summary.outcome == LookupOutcome::NothingToLookUp) {
        errors << "Nothing to look up: the host is blank\n";
    }
    reportRowsWithoutVerdict(table, errors);

    if (const auto problem = writeReport(table, view.hostText(), run.report)) {
        errors << "Report not written: " << problem->message() << '\n';
        return kExitFailed;
    }
    return exitStatusFor(summary);
}

int runZoneCheckOfListFile(const std::filesystem::path& listFile, Resolver& resolver,
                           std::ostream& out, std::ostream& errors) {
    const MemoryTable table = startUpWarningOfProblems(listFile, errors);
    return runZoneCheck(table, resolver, out);
}

}  // namespace ostrivane
