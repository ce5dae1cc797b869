#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <ostream>

#include "check/output_formats.h"
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

// "a, b, c and 13 more": at most `few` items.
std::string firstFew(const std::vector<std::string>& items, std::size_t few) {
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < items.size() && i < few; ++i) {
        shown.push_back(shortened(items[i]));
    }
    std::string text = joined(shown, ", ");
    if (items.size() > shown.size()) {
        text += " and " + std::to_string(items.size() - shown.size()) + " more";
    }
    return text;
}

struct Findings {
    std::vector<std::string> listedAddresses, listingZones, silentZones, uncovered;
    // The error codes each silent zone answered, with what they mean.
    std::map<std::string, std::vector<std::string>> errorAnswers;
    std::vector<std::string> faultyTargets;  // mail targets with an SPF permerror or no answer
};

Findings findingsOf(const CheckRun& run) {
    Findings found;
    for (const auto& result : run.results) {
        if (result.verdict == CheckVerdict::Listed) {
            addOnce(found.listedAddresses, result.address);
            addOnce(found.listingZones, result.zone);
        } else if (result.verdict != CheckVerdict::NotListed &&
                   result.verdict != CheckVerdict::NotCovered) {
            addOnce(found.silentZones, result.zone);
            if (result.verdict == CheckVerdict::ListError && !result.answers.empty()) {
                addOnce(found.errorAnswers[result.zone], answersText(result));
            }
        }
    }
    found.uncovered = uncoveredAddressesOf(run);
    for (const auto& finding : run.findings) {
        if (finding.kind != FindingKind::Note) {
            addOnce(found.faultyTargets, finding.target);
        }
    }
    return found;
}

// What the status line says: the listings, the targets that did not resolve
// and the zones that gave no verdict, or that all is clean; the first few of
// each, fewer while the line is too long.
std::string statusText(const CheckRun& run, const Findings& found) {
    std::string text;
    for (const std::size_t few : {std::size_t{3}, std::size_t{2}, std::size_t{1}}) {
        std::vector<std::string> parts;
        if (!found.listedAddresses.empty()) {
            parts.push_back((found.listedAddresses.size() == 1
                                 ? shortened(found.listedAddresses.front())
                                 : plural(found.listedAddresses.size(), "address", "addresses")) +
                            " listed on " + firstFew(found.listingZones, few));
        }
        if (!run.unresolvedTargets.empty()) {
            parts.push_back("cannot resolve " + firstFew(run.unresolvedTargets, few));
        }
        if (!run.unansweredTargets.empty()) {
            parts.push_back("no answer for " + firstFew(run.unansweredTargets, few));
        }
        if (!found.uncovered.empty()) {
            parts.push_back("no working list covers " + firstFew(found.uncovered, few));
        }
        if (!found.silentZones.empty()) {
            parts.push_back("no verdict from " + firstFew(found.silentZones, few));
        }
        if (!found.faultyTargets.empty()) {
            parts.push_back("incomplete " + firstFew(found.faultyTargets, few));
        }
        if (parts.empty()) {
            parts.push_back(plural(countsOf(run).addresses, "address", "addresses") +
                            " not listed on " + plural(run.zones.size(), "list", "lists"));
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
    const std::string results = std::to_string(run.results.size());
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
    for (const auto& result : run.results) {
        if (result.verdict != CheckVerdict::Listed) {
            continue;
        }
        std::string line =
            result.address + " listed on " + result.zone + " (" + answersText(result) + ")";
        if (!result.via.empty()) {
            line += " via " + joined(result.via, "; ");
        }
        if (!result.reason.empty()) {
            line += ": " + result.reason;
        }
        out << pluginText(line) << '\n';
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

}  // namespace

void printCheckNagios(const CheckRun& run, const CheckOptions& options, int state,
                      const std::vector<std::string>& problems, std::ostream& out) {
    static constexpr std::array<std::string_view, 4> kStates = {"OK", "WARNING", "CRITICAL",
                                                                "UNKNOWN"};
    const Findings found = findingsOf(run);
    out << "OSTRIVANE " << kStates[static_cast<std::size_t>(state)] << " - "
        << pluginText(statusText(run, found)) << " | " << performanceData(run, options) << "\n";
    printLongOutput(run, found, problems, out);
    for (const auto& notice : run.notices) {
        out << pluginText(notice) << '\n';
    }
}

}  // namespace ostrivane
