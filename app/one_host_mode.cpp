#include "app/one_host_mode.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/exit_status.h"
#include "core/address.h"
#include "core/standalone_view.h"
#include "core/verdict.h"
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

// An incomplete check is a failure someone has to look into, so each row
// without a verdict is named, with its zone, where cron will mail it.
void reportRowsWithoutVerdict(const BlacklistTable& table, std::ostream& errors) {
    for (int row = 0; row < kRowCount; ++row) {
        const std::string result = table.result(row);
        const RowVerdictKind kind = verdictKindOf(result);
        if (kind == RowVerdictKind::NoAnswer || kind == RowVerdictKind::ListError) {
            errors << "No verdict from " << table.zone(row) << " (" << table.name(row)
                   << "): " << result << '\n';
        }
    }
}

// Nothing is looked up and the report is left as it was: a host this mode
// cannot check is a usage error, not a result to publish.
std::optional<std::string> hostProblem(std::string_view host) {
    if (host.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos) {
        return "Nothing to look up: the host is blank";
    }
    if (looksLikeIPv6Address(host)) {
        std::string text(host);
        return "Cannot check " + text +
               ": this mode checks IPv4 addresses and host names only; `ostrivane --check " + text +
               "` checks an IPv6 address";
    }
    return std::nullopt;
}

bool hasAnyZone(const BlacklistTable& table) {
    for (int row = 0; row < kRowCount; ++row) {
        if (!table.zone(row).empty()) {
            return true;
        }
    }
    return false;
}

// A report that cannot be written must not hide what it would have shown.
void reportListedRows(const BlacklistTable& table, std::ostream& errors) {
    for (int row = 0; row < kRowCount; ++row) {
        const std::string result = table.result(row);
        if (verdictKindOf(result) == RowVerdictKind::Listed) {
            errors << "Listed on " << table.zone(row) << " (" << table.name(row)
                   << "): " << result.substr(kListedPrefix.size()) << '\n';
        }
    }
}

}  // namespace

int runUnattended(const UnattendedRun& run, Resolver& resolver, const TestPointAsker& testPoints,
                  std::ostream& errors) {
    if (const auto problem = hostProblem(run.host)) {
        errors << *problem << '\n';
        return kExitFailed;
    }
    MemoryTable table = startUpWarningOfProblems(run.listFile, errors);
    const bool anyZone = hasAnyZone(table);
    if (!anyZone) {
        errors << "No blacklist to check: no row of " << run.listFile.string() << " has a zone\n";
    }

    // The view's own message would lack the reason; the run says it below.
    std::ostream discarded(nullptr);
    StandaloneLookupView view(run.host, discarded);
    const LookupSummary summary = runLookup(table, view, resolver, pauseBeforeQuery, &testPoints);
    if (summary.outcome == LookupOutcome::HostUnresolved) {
        errors << "Unable to resolve " << summary.host << ": "
               << unresolvedReason(summary.hostAnswer) << '\n';
    }
    reportRowsWithoutVerdict(table, errors);

    if (const auto problem = writeReport(table, view.hostText(), run.report)) {
        reportListedRows(table, errors);
        errors << "Report not written: " << problem->message() << '\n';
        return kExitFailed;
    }
    // A check that checked nothing is no all-clear.
    return anyZone ? exitStatusFor(summary) : kExitIncomplete;
}

}  // namespace ostrivane
