#include <algorithm>
#include <array>
#include <cstdio>
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

// What the status line says: the listings, the targets that did not resolve
// and the zones that gave no verdict, or that all is clean.
std::string statusText(const CheckRun& run) {
    std::vector<std::string> listedAddresses, listingZones, silentZones;
    for (const auto& result : run.results) {
        if (result.verdict == CheckVerdict::Listed) {
            addOnce(listedAddresses, result.address);
            addOnce(listingZones, result.zone);
        } else if (result.verdict != CheckVerdict::NotListed &&
                   result.verdict != CheckVerdict::NotCovered) {
            addOnce(silentZones, result.zone);
        }
    }
    std::vector<std::string> parts;
    if (!listedAddresses.empty()) {
        parts.push_back((listedAddresses.size() == 1
                             ? listedAddresses.front()
                             : plural(listedAddresses.size(), "address", "addresses")) +
                        " listed on " + joined(listingZones, ", "));
    }
    if (!run.unresolvedTargets.empty()) {
        parts.push_back("cannot resolve " + joined(run.unresolvedTargets, ", "));
    }
    if (!run.unansweredTargets.empty()) {
        parts.push_back("no answer for " + joined(run.unansweredTargets, ", "));
    }
    if (const auto uncovered = uncoveredAddressesOf(run); !uncovered.empty()) {
        parts.push_back("no working list covers " + joined(uncovered, ", "));
    }
    if (!silentZones.empty()) {
        parts.push_back("no verdict from " + joined(silentZones, ", "));
    }
    if (parts.empty()) {
        parts.push_back(plural(countsOf(run).addresses, "address", "addresses") +
                        " not listed on " + plural(run.zones.size(), "list", "lists"));
    }
    return joined(parts, "; ");
}

std::string performanceData(const CheckRun& run, const CheckOptions& options) {
    const CheckCounts counts = countsOf(run);
    const auto brokenZones = std::count_if(run.zones.begin(), run.zones.end(), [](const auto& z) {
        return z.health != ZoneHealth::Healthy;
    });
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(run.durationMs) / 1000);
    return "listed=" + std::to_string(counts.listed) + ";" + std::to_string(options.warning) + ";" +
           std::to_string(options.critical) + ";0;" + std::to_string(run.results.size()) +
           " no_answer=" + std::to_string(counts.noAnswer) +
           " broken_zones=" + std::to_string(brokenZones) + " time=" + seconds + "s";
}

}  // namespace

void printCheckNagios(const CheckRun& run, const CheckOptions& options, int state,
                      std::ostream& out) {
    static constexpr std::array<std::string_view, 4> kStates = {"OK", "WARNING", "CRITICAL",
                                                                "UNKNOWN"};
    out << "OSTRIVANE " << kStates[static_cast<std::size_t>(state)] << " - "
        << pluginText(statusText(run)) << " | " << performanceData(run, options) << "\n";
    for (const auto& result : run.results) {
        if (result.verdict != CheckVerdict::Listed) {
            continue;
        }
        std::string line =
            result.address + " listed on " + result.zone + " (" + joined(result.answers, ",") + ")";
        if (!result.reason.empty()) {
            line += ": " + result.reason;
        }
        out << pluginText(line) << '\n';
    }
}

}  // namespace ostrivane
