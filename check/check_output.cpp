#include "check/check_output.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <vector>

#include "text/columns.h"
#include "text/json_text.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

std::string plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : std::string(separator)) + part;
    }
    return text;
}

std::string changeText(const CheckResult& result) {
    if (result.change == ListingChange::New || result.change == ListingChange::Cleared) {
        return std::string(listingChangeText(*result.change));
    }
    if (result.change == ListingChange::Ongoing && result.since) {
        return "since " + formatRfc3339(*result.since);
    }
    return {};
}

bool changed(const CheckResult& result) {
    return result.change == ListingChange::New || result.change == ListingChange::Cleared;
}

// ---- text ----------------------------------------------------------------

// What the mail targets' expansion found; --quiet keeps only what makes the
// check incomplete.
void printFindings(const CheckRun& run, const CheckOptions& options, std::ostream& out) {
    for (const auto& finding : run.findings) {
        if (options.quiet && finding.kind == FindingKind::Note) {
            continue;
        }
        out << escapeForTerminal(finding.target) << ": "
            << (finding.kind == FindingKind::Incomplete ? "incomplete, " : "")
            << escapeForTerminal(finding.text) << '\n';
    }
}

void printText(const CheckRun& run, const CheckOptions& options, std::ostream& out) {
    const bool withChange = std::any_of(run.results.begin(), run.results.end(),
                                        [](const CheckResult& r) { return r.change.has_value(); });
    const auto shown = [&](const CheckResult& result) {
        if (options.changes) {
            return changed(result);
        }
        return !options.quiet || result.verdict != CheckVerdict::NotListed || changed(result);
    };

    // Every line first, so that the columns line up over the whole output.
    struct Line {
        std::string header;  // set for a block's first line
        std::vector<std::string> cells;
    };
    std::vector<Line> lines;
    std::string_view block;
    for (const auto& result : run.results) {
        if (!shown(result)) {
            continue;
        }
        Line line;
        if (lines.empty() || block != result.address) {
            block = result.address;
            line.header = escapeForTerminal(result.address);
            if (result.target != result.address) {
                line.header += " (" + escapeForTerminal(result.target) + ")";
            }
            if (!result.via.empty()) {
                line.header += " via " + escapeForTerminal(joined(result.via, "; "));
            }
        }
        std::string answers = escapeForTerminal(joined(result.answers, ","));
        line.cells = {escapeForTerminal(result.zone), std::string(checkVerdictText(result.verdict)),
                      answers};
        if (withChange) {
            line.cells.push_back(changeText(result));
        }
        line.cells.push_back(escapeForTerminal(result.reason));
        lines.push_back(std::move(line));
    }
    std::vector<std::vector<std::string>> rows;
    for (const auto& line : lines) {
        rows.push_back(line.cells);
    }
    const auto aligned = alignColumns(rows, {"  ", {}});
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].header.empty()) {
            out << lines[i].header << '\n';
        }
        out << aligned[i] << '\n';
    }
    if (!options.changes) {
        for (const auto& target : run.unresolvedTargets) {
            out << escapeForTerminal(target) << ": does not resolve to any address\n";
        }
        printFindings(run, options, out);
    }

    const CheckCounts counts = countsOf(run);
    const bool anything = !lines.empty() || !run.unresolvedTargets.empty() ||
                          std::any_of(run.findings.begin(), run.findings.end(),
                                      [](const auto& f) { return f.kind != FindingKind::Note; });
    if (options.quiet && !options.changes && !anything) {
        return;
    }
    out << "Summary: " << plural(counts.addresses, "address", "addresses") << ", "
        << plural(run.zones.size(), "zone", "zones") << "; listed " << counts.listed
        << ", not-listed " << counts.notListed << ", no-answer " << counts.noAnswer
        << ", list-error " << counts.listError << ", broken-zone " << counts.brokenZone
        << "; unresolved targets " << run.unresolvedTargets.size();
    if (withChange) {
        const auto cleared =
            std::count_if(run.results.begin(), run.results.end(),
                          [](const auto& r) { return r.change == ListingChange::Cleared; });
        out << "; new " << counts.newListings << ", cleared " << cleared;
    }
    out << "\n";
}

// ---- json ----------------------------------------------------------------

JsonDocument jsonOrNull(const std::optional<std::string>& text) {
    return text ? JsonDocument(*text) : JsonDocument(nullptr);
}

std::string zoneStateText(ZoneHealth health) {
    std::string text(zoneHealthText(health));
    std::replace(text.begin(), text.end(), ' ', '-');
    return text;
}

JsonDocument jsonResult(const CheckResult& result) {
    const auto change = result.change
                            ? std::optional<std::string>(listingChangeText(*result.change))
                            : std::nullopt;
    const auto since =
        result.since ? std::optional<std::string>(formatRfc3339(*result.since)) : std::nullopt;
    return {
        {"target", result.target},
        {"address", result.address},
        {"zone", result.zone},
        {"verdict", checkVerdictText(result.verdict)},
        {"answers", result.answers},
        {"reason", jsonOrNull(result.reason.empty() ? std::nullopt
                                                    : std::optional<std::string>(result.reason))},
        {"change", jsonOrNull(change)},
        {"since", jsonOrNull(since)},
        {"via", result.via}};
}

void printJson(const CheckRun& run, std::ostream& out) {
    JsonDocument document;
    document["checked_at"] = formatRfc3339(run.startedAt);
    document["duration_ms"] = run.durationMs;
    document["zones"] = JsonDocument::array();
    for (const auto& zone : run.zones) {
        document["zones"].push_back({{"zone", zone.zone},
                                     {"name", zone.name},
                                     {"state", zoneStateText(zone.health)},
                                     {"kind", zone.domainList ? "domains" : "addresses"}});
    }
    document["results"] = JsonDocument::array();
    for (const auto& result : run.results) {
        document["results"].push_back(jsonResult(result));
    }
    document["unresolved_targets"] = run.unresolvedTargets;
    document["findings"] = JsonDocument::array();
    for (const auto& finding : run.findings) {
        document["findings"].push_back({{"target", finding.target},
                                        {"kind", findingKindText(finding.kind)},
                                        {"text", finding.text}});
    }
    const CheckCounts counts = countsOf(run);
    document["summary"] = {
        {"addresses", counts.addresses},    {"zones", run.zones.size()},
        {"listed", counts.listed},          {"not_listed", counts.notListed},
        {"no_answer", counts.noAnswer},     {"list_error", counts.listError},
        {"broken_zone", counts.brokenZone}, {"unresolved_targets", run.unresolvedTargets.size()}};
    out << jsonDocumentText(document);
}

// ---- nagios --------------------------------------------------------------

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

// The status line's findings: listings, unresolved targets, zones without a
// verdict, mail targets left incomplete; "N addresses not listed" without any.
std::vector<std::string> nagiosParts(const CheckRun& run, const CheckCounts& counts) {
    std::vector<std::string> listedAddresses, listingZones, silentZones;
    for (const auto& result : run.results) {
        if (result.verdict == CheckVerdict::Listed) {
            addOnce(listedAddresses, result.address);
            addOnce(listingZones, result.zone);
        } else if (result.verdict != CheckVerdict::NotListed) {
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
    if (!silentZones.empty()) {
        parts.push_back("no verdict from " + joined(silentZones, ", "));
    }
    for (const auto& finding : run.findings) {
        if (finding.kind == FindingKind::PermError) {
            addOnce(parts, finding.target + " SPF permerror");
        } else if (finding.kind == FindingKind::Incomplete) {
            addOnce(parts, finding.target + " incomplete");
        }
    }
    if (parts.empty()) {
        parts.push_back(plural(counts.addresses, "address", "addresses") + " not listed on " +
                        plural(run.zones.size(), "list", "lists"));
    }
    return parts;
}

void printNagios(const CheckRun& run, const CheckOptions& options, int state, std::ostream& out) {
    static constexpr std::array<std::string_view, 4> kStates = {"OK", "WARNING", "CRITICAL",
                                                                "UNKNOWN"};
    const CheckCounts counts = countsOf(run);
    const auto parts = nagiosParts(run, counts);
    const auto brokenZones = std::count_if(run.zones.begin(), run.zones.end(), [](const auto& z) {
        return z.health != ZoneHealth::Healthy;
    });
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(run.durationMs) / 1000);
    out << "OSTRIVANE " << kStates[static_cast<std::size_t>(state)] << " - "
        << pluginText(joined(parts, "; ")) << " | listed=" << counts.listed << ";"
        << options.warning << ";" << options.critical << ";0;" << run.results.size()
        << " no_answer=" << counts.noAnswer << " broken_zones=" << brokenZones
        << " time=" << seconds << "s\n";
    for (const auto& result : run.results) {
        if (result.verdict != CheckVerdict::Listed) {
            continue;
        }
        std::string line =
            result.address + " listed on " + result.zone + " (" + joined(result.answers, ",") + ")";
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
}

}  // namespace

std::string formatRfc3339(EpochMs time) {
    const auto seconds = static_cast<std::time_t>(time >= 0 ? time / 1000 : (time - 999) / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void printCheckRun(const CheckRun& run, const CheckOptions& options, int status,
                   std::ostream& out) {
    switch (options.format) {
        case CheckFormat::Text:
            printText(run, options, out);
            return;
        case CheckFormat::Json:
            printJson(run, out);
            return;
        case CheckFormat::Nagios:
            printNagios(run, options, status, out);
            return;
    }
}

}  // namespace ostrivane
