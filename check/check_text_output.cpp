#include <algorithm>
#include <ostream>

#include "check/check_output.h"
#include "check/output_formats.h"
#include "text/columns.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

bool changed(const CheckResult& result) {
    return result.change == ListingChange::New || result.change == ListingChange::Cleared;
}

std::string changeText(const CheckResult& result) {
    if (changed(result)) {
        return std::string(listingChangeText(*result.change));
    }
    if (result.change == ListingChange::Ongoing && result.since) {
        return "since " + formatRfc3339(*result.since);
    }
    return {};
}

bool isShown(const CheckResult& result, const CheckOptions& options) {
    if (options.changes) {
        return changed(result);
    }
    const bool quietOne =
        result.verdict == CheckVerdict::NotListed || result.verdict == CheckVerdict::NotCovered;
    return !options.quiet || !quietOne || changed(result);
}

// The address, and the target it came from when that was a name or a block.
std::string blockHeader(const CheckResult& result) {
    std::string header = escapeForTerminal(result.address);
    if (result.target != result.address) {
        header += " (" + escapeForTerminal(result.target) + ")";
    }
    if (!result.via.empty()) {
        header += " via " + escapeForTerminal(joined(result.via, "; "));
    }
    return header;
}

std::vector<std::string> cellsOf(const CheckResult& result, bool withChange) {
    std::vector<std::string> cells{escapeForTerminal(result.zone),
                                   std::string(checkVerdictText(result.verdict)),
                                   escapeForTerminal(joined(result.answers, ","))};
    if (withChange) {
        cells.push_back(changeText(result));
    }
    cells.push_back(escapeForTerminal(result.reason));
    return cells;
}

// The results shown, each as its block's header (the first line of a block
// only) and its aligned line: every line is known before any is aligned, so
// that the columns line up over the whole output.
std::vector<std::pair<std::string, std::string>> resultLines(const CheckRun& run,
                                                             const CheckOptions& options,
                                                             bool withChange) {
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> rows;
    std::string_view block;
    for (const auto& result : run.results) {
        if (!isShown(result, options)) {
            continue;
        }
        const bool opensBlock = rows.empty() || block != result.address;
        block = result.address;
        headers.push_back(opensBlock ? blockHeader(result) : std::string());
        rows.push_back(cellsOf(result, withChange));
    }
    const auto aligned = alignColumns(rows, {"  ", {}});
    std::vector<std::pair<std::string, std::string>> lines;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        lines.emplace_back(headers[i], aligned[i]);
    }
    return lines;
}

// What the mail targets' expansion found; --quiet keeps only what makes the
// check incomplete. True when anything was printed.
bool printFindings(const CheckRun& run, const CheckOptions& options, std::ostream& out) {
    bool printed = false;
    for (const auto& finding : run.findings) {
        if (options.quiet && finding.kind == FindingKind::Note) {
            continue;
        }
        out << escapeForTerminal(finding.target) << ": "
            << (finding.kind == FindingKind::Incomplete ? "incomplete, " : "")
            << escapeForTerminal(finding.text) << '\n';
        printed = true;
    }
    return printed;
}

void printSummary(const CheckRun& run, bool withChange, std::ostream& out) {
    const CheckCounts counts = countsOf(run);
    out << "Summary: " << plural(counts.addresses, "address", "addresses") << ", "
        << plural(run.zones.size(), "zone", "zones") << "; listed " << counts.listed
        << ", not-listed " << counts.notListed << ", no-answer " << counts.noAnswer
        << ", list-error " << counts.listError << ", broken-zone " << counts.brokenZone
        << "; unresolved targets " << run.unresolvedTargets.size();
    if (counts.notCovered > 0) {
        out << "; not-covered " << counts.notCovered;
    }
    if (!run.unansweredTargets.empty()) {
        out << ", unanswered targets " << run.unansweredTargets.size();
    }
    if (withChange) {
        const auto cleared =
            std::count_if(run.results.begin(), run.results.end(),
                          [](const auto& r) { return r.change == ListingChange::Cleared; });
        out << "; new " << counts.newListings << ", cleared " << cleared;
    }
    out << "\n";
}

}  // namespace

void printCheckText(const CheckRun& run, const CheckOptions& options, std::ostream& out) {
    const bool withChange = std::any_of(run.results.begin(), run.results.end(),
                                        [](const CheckResult& r) { return r.change.has_value(); });
    const auto lines = resultLines(run, options, withChange);
    for (const auto& [header, line] : lines) {
        if (!header.empty()) {
            out << header << '\n';
        }
        out << line << '\n';
    }
    bool findings = false;
    if (!options.changes) {
        for (const auto& target : run.unresolvedTargets) {
            out << escapeForTerminal(target) << ": does not resolve to any address\n";
        }
        for (const auto& target : run.unansweredTargets) {
            out << escapeForTerminal(target) << ": no answer to the lookup of its addresses\n";
        }
        for (const auto& address : uncoveredAddressesOf(run)) {
            out << escapeForTerminal(address) << ": no working list of this run covers "
                << (address.find(':') == std::string::npos ? "IPv4" : "IPv6") << " addresses\n";
        }
        findings = printFindings(run, options, out);
    }
    const bool anything = !lines.empty() || !run.unresolvedTargets.empty() ||
                          !run.unansweredTargets.empty() || countsOf(run).uncoveredAddresses > 0 ||
                          findings;
    // Nothing at all when nothing changed: cron mails only when something did.
    if ((options.changes && lines.empty()) || (options.quiet && !options.changes && !anything)) {
        return;
    }
    printSummary(run, withChange, out);
}

}  // namespace ostrivane
