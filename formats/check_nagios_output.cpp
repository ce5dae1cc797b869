#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <ostream>
#include <span>

#include "formats/output_formats.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

// Plugin output may hold neither a line break nor "|" outside the perfdata.
std::string pluginText(std::string_view text) {
    std::string plain = escapeForTerminal(text);
    std::replace(plain.begin(), plain.end(), '|', '/');
    return plain;
}

void addOnce(std::vector<std::string>& list, const std::string& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

// The status line stays short: a monitor's list view and its notifications
// cut long lines, and the long output holds everything.
constexpr std::size_t kLongestItem = 40;
constexpr std::size_t kLongestStatusText = 100;

std::string shortened(const std::string& item) {
    return item.size() <= kLongestItem ? item : item.substr(0, kLongestItem - 3) + "...";
}

// "a, b, c and 13 more": at most `few` items of `total` (the items kept are
// the first ones).
std::string firstFew(const std::vector<std::string>& items, std::size_t few,
                     std::size_t total = 0) {
    total = std::max(total, items.size());
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < items.size() && i < few; ++i) {
        shown.push_back(shortened(items[i]));
    }
    std::string text = joined(shown, ", ");
    if (total > shown.size()) {
        text += " and " + std::to_string(total - shown.size()) + " more";
    }
    return text;
}

// The first this many of the listed and the uncovered addresses are kept:
// the status line names three at most.
constexpr std::size_t kAddressesKept = 3;

struct Findings {
    std::vector<std::string> listedAddresses;  // the first few
    std::size_t listedCount = 0;
    std::vector<std::string> listingZones, silentZones;
    std::vector<std::string> uncovered;  // the first few (ResultTally::kUncoveredKept)
    // The error codes each silent zone answered, with what they mean.
    std::map<std::string, std::vector<std::string>> errorAnswers;
    std::vector<std::string> faultyTargets;  // mail targets with an SPF permerror or no answer
    std::vector<std::string> listingLines;   // the long output's, the first kNagiosListingLines
    std::size_t moreListings = 0;
};

std::string listingLine(const CheckResult& result) {
    std::string line =
        result.address + " listed on " + result.zone + " (" + answersText(result) + ")";
    if (!result.via.empty()) {
        line += " via " + joined(result.via, "; ");
    }
    if (!result.reason.empty()) {
        line += ": " + result.reason;
    }
    return pluginText(line);
}

void addAddress(Findings& found, std::span<const CheckResult> results) {
    bool listed = false;
    bool covered = false;
    for (const auto& result : results) {
        covered = covered || result.verdict != CheckVerdict::NotCovered;
        if (result.verdict == CheckVerdict::Listed) {
            listed = true;
            addOnce(found.listingZones, result.zone);
            if (found.listingLines.size() < kNagiosListingLines) {
                found.listingLines.push_back(listingLine(result));
            } else {
                ++found.moreListings;
            }
        } else if (result.verdict != CheckVerdict::NotListed &&
                   result.verdict != CheckVerdict::NotCovered) {
            addOnce(found.silentZones, result.zone);
            if (result.verdict == CheckVerdict::ListError && !result.answers.empty()) {
                addOnce(found.errorAnswers[result.zone], answersText(result));
            }
        }
    }
    if (listed && found.listedCount++ < kAddressesKept) {
        found.listedAddresses.push_back(results.front().address);
    }
    if (!covered && !results.empty() && found.uncovered.size() < ResultTally::kUncoveredKept) {
        found.uncovered.push_back(results.front().address);
    }
}

// What the status line says: the listings, the targets that did not resolve
// and the zones that gave no verdict, or that all is clean; the first few of
// each, fewer while the line is too long.
std::string statusText(const CheckRun& run, const Findings& found) {
    const CheckCounts counts = countsOf(run);
    std::string text;
    for (const std::size_t few : {std::size_t{3}, std::size_t{2}, std::size_t{1}}) {
        std::vector<std::string> parts;
        if (found.listedCount > 0) {
            parts.push_back((found.listedCount == 1
                                 ? shortened(found.listedAddresses.front())
                                 : counted(found.listedCount, "address", "addresses")) +
                            " listed on " + firstFew(found.listingZones, few));
        }
        if (!run.unresolvedTargets.empty()) {
            parts.push_back("cannot resolve " + firstFew(run.unresolvedTargets, few));
        }
        if (!run.unansweredTargets.empty()) {
            parts.push_back("no answer for " + firstFew(run.unansweredTargets, few));
        }
        if (!found.uncovered.empty()) {
            parts.push_back("no working list covers " +
                            firstFew(found.uncovered, few, counts.uncoveredAddresses));
        }
        if (!found.silentZones.empty()) {
            parts.push_back("no verdict from " + firstFew(found.silentZones, few));
        }
        if (!found.faultyTargets.empty()) {
            parts.push_back("incomplete " + firstFew(found.faultyTargets, few));
        }
        if (parts.empty()) {
            parts.push_back(counted(counts.addresses, "address", "addresses") + " not listed on " +
                            counted(run.zones.size(), "list", "lists"));
        }
        text = joined(parts, "; ");
        if (text.size() <= kLongestStatusText) {
            return text;
        }
    }
    return text.substr(0, kLongestStatusText - 3) + "...";
}

std::string performanceData(const CheckRun& run, const CheckOptions& options) {
    const CheckCounts counts = countsOf(run);
    const auto brokenZones = std::count_if(run.zones.begin(), run.zones.end(), [](const auto& z) {
        return z.health != ZoneHealth::Healthy;
    });
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(run.durationMs) / 1000);
    const std::string results = std::to_string(counts.results);
    // A missing verdict (or a host name's lookup without an answer) makes the
    // state WARNING: their count carries the warning range 0, so that a parser
    // reads the same state.
    return "listed=" + std::to_string(counts.listed) + ";" +
           (options.warning ? options.warning->text : "") + ";" + options.critical.text + ";0;" +
           results + " no_answer=" + std::to_string(counts.noAnswer) +
           " broken_zones=" + std::to_string(brokenZones) +
           " incomplete=" + std::to_string(counts.incomplete() + run.unansweredTargets.size()) +
           ";0;;0;" + results + " time=" + seconds + "s";
}

// The long output's lines of what the status line only counts.
void printLongOutput(const CheckRun& run, const Findings& found,
                     const std::vector<std::string>& problems, std::ostream& out) {
    for (const auto& line : found.listingLines) {
        out << line << '\n';
    }
    if (found.moreListings > 0) {
        out << found.moreListings << " more listings (--format text or json shows them all)\n";
    }
    for (const auto& finding : run.findings) {
        out << pluginText(finding.target + ": " +
                          (finding.kind == FindingKind::Incomplete ? "incomplete, " : "") +
                          finding.text)
            << '\n';
    }
    for (const auto& target : run.unresolvedTargets) {
        out << pluginText(target + ": does not resolve to any address") << '\n';
    }
    for (const auto& target : run.unansweredTargets) {
        out << pluginText(target + ": no answer to the lookup of its addresses") << '\n';
    }
    for (const auto& address : found.uncovered) {
        out << pluginText("no working list of this run covers " + address) << '\n';
    }
    const auto uncovered = countsOf(run).uncoveredAddresses;
    if (uncovered > found.uncovered.size()) {
        out << "no working list of this run covers " << uncovered - found.uncovered.size()
            << " more addresses\n";
    }
    for (const auto& zone : found.silentZones) {
        const auto errors = found.errorAnswers.find(zone);
        out << pluginText(
                   "no verdict from " + zone +
                   (errors == found.errorAnswers.end() ? "" : ": " + joined(errors->second, "; ")))
            << '\n';
    }
    for (const auto& problem : problems) {
        out << pluginText(problem) << '\n';
    }
}

class NagiosPrinter : public CheckPrinter {
  public:
    NagiosPrinter(const CheckOptions& options, std::ostream& out)
        : m_options(options), m_out(out) {}

    void address(std::span<const CheckResult> results) override { addAddress(m_found, results); }

    void finish(const CheckRun& run, int state, const std::vector<std::string>& problems) override {
        static constexpr std::array<std::string_view, 4> kStates = {"OK", "WARNING", "CRITICAL",
                                                                    "UNKNOWN"};
        for (const auto& finding : run.findings) {
            if (finding.kind != FindingKind::Note) {
                addOnce(m_found.faultyTargets, finding.target);
            }
        }
        m_out << "OSTRIVANE " << kStates[static_cast<std::size_t>(state)] << " - "
              << pluginText(statusText(run, m_found)) << " | " << performanceData(run, m_options)
              << "\n";
        printLongOutput(run, m_found, problems, m_out);
        for (const auto& notice : run.notices) {
            m_out << pluginText(notice) << '\n';
        }
    }

  private:
    const CheckOptions& m_options;
    std::ostream& m_out;
    Findings m_found;
};

}  // namespace

std::unique_ptr<CheckPrinter> nagiosPrinter(const CheckOptions& options, std::ostream& out) {
    return std::make_unique<NagiosPrinter>(options, out);
}

}  // namespace ostrivane
