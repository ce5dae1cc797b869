#include <algorithm>
#include <ostream>
#include <span>

#include "formats/check_output.h"
#include "formats/output_formats.h"
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
                                   escapeForTerminal(answersText(result))};
    if (withChange) {
        cells.push_back(changeText(result));
    }
    cells.push_back(escapeForTerminal(result.reason));
    return cells;
}

// One address's results as shown: its header over the first line shown, the
// lines aligned in columns within the block (the whole run's widths are not
// known while it streams). True when anything was printed.
bool printBlock(std::span<const CheckResult> results, const CheckOptions& options, bool withChange,
                std::ostream& out) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& result : results) {
        if (isShown(result, options)) {
            rows.push_back(cellsOf(result, withChange));
        }
    }
    if (rows.empty()) {
        return false;
    }
    out << blockHeader(results.front()) << '\n';
    for (const auto& line : alignColumns(rows, {"  ", {}})) {
        out << line << '\n';
    }
    return true;
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
    out << "Summary: " << counted(counts.addresses, "address", "addresses") << ", "
        << counted(run.zones.size(), "zone", "zones") << "; listed " << counts.listed
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
        out << "; new " << counts.newListings << ", cleared " << counts.cleared;
    }
    out << "\n";
}

class TextPrinter : public CheckPrinter {
  public:
    TextPrinter(const CheckOptions& options, bool withChange, std::ostream& out)
        : m_options(options), m_withChange(withChange), m_out(out) {}

    void address(std::span<const CheckResult> results) override {
        if (results.empty()) {
            return;
        }
        m_anyLine = printBlock(results, m_options, m_withChange, m_out) || m_anyLine;
        const bool uncovered = std::all_of(
            results.begin(), results.end(),
            [](const CheckResult& result) { return result.verdict == CheckVerdict::NotCovered; });
        if (uncovered && !m_options.changes) {
            const auto& address = results.front().address;
            m_out << escapeForTerminal(address) << ": no working list of this run covers "
                  << (address.find(':') == std::string::npos ? "IPv4" : "IPv6") << " addresses\n";
            m_anyUncovered = true;
        }
        m_out.flush();
    }

    void finish(const CheckRun& run, int /*status*/,
                const std::vector<std::string>& /*problems*/) override {
        bool findings = false;
        if (!m_options.changes) {
            for (const auto& target : run.unresolvedTargets) {
                m_out << escapeForTerminal(target) << ": does not resolve to any address\n";
            }
            for (const auto& target : run.unansweredTargets) {
                m_out << escapeForTerminal(target)
                      << ": no answer to the lookup of its addresses\n";
            }
            findings = printFindings(run, m_options, m_out);
        }
        const bool anything = m_anyLine || !run.unresolvedTargets.empty() ||
                              !run.unansweredTargets.empty() || m_anyUncovered || findings;
        // Nothing at all when nothing changed: cron mails only when something did.
        if ((m_options.changes && !m_anyLine) ||
            (m_options.quiet && !m_options.changes && !anything)) {
            return;
        }
        printSummary(run, m_withChange, m_out);
    }

  private:
    const CheckOptions& m_options;
    bool m_withChange;
    std::ostream& m_out;
    bool m_anyLine = false;
    bool m_anyUncovered = false;
};

}  // namespace

std::unique_ptr<CheckPrinter> textPrinter(const CheckOptions& options, bool withChange,
                                          std::ostream& out) {
    return std::make_unique<TextPrinter>(options, withChange, out);
}

}  // namespace ostrivane
