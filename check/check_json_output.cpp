#include <algorithm>
#include <optional>
#include <ostream>

#include "check/check_output.h"
#include "check/output_formats.h"
#include "text/json_text.h"

namespace ostrivane {

namespace {

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

JsonDocument jsonSummary(const CheckRun& run) {
    const CheckCounts counts = countsOf(run);
    return {{"addresses", counts.addresses},
            {"zones", run.zones.size()},
            {"listed", counts.listed},
            {"not_listed", counts.notListed},
            {"no_answer", counts.noAnswer},
            {"list_error", counts.listError},
            {"broken_zone", counts.brokenZone},
            {"unresolved_targets", run.unresolvedTargets.size()},
            {"unanswered_targets", run.unansweredTargets.size()},
            {"not_covered", counts.notCovered},
            {"uncovered_addresses", counts.uncoveredAddresses}};
}

}  // namespace

void printCheckJson(const CheckRun& run, std::ostream& out) {
    JsonDocument document;
    document["checked_at"] = formatRfc3339(run.startedAt);
    document["duration_ms"] = run.durationMs;
    document["zones"] = JsonDocument::array();
    for (const auto& zone : run.zones) {
        document["zones"].push_back({{"zone", zone.zone},
                                     {"name", zone.name},
                                     {"state", zoneStateText(zone.health)},
                                     {"ipv4", zoneStateText(zone.ipv4)},
                                     {"ipv6", zoneStateText(zone.ipv6)},
                                     {"kind", zone.domainList ? "domains" : "addresses"}});
    }
    document["results"] = JsonDocument::array();
    for (const auto& result : run.results) {
        document["results"].push_back(jsonResult(result));
    }
    document["unresolved_targets"] = run.unresolvedTargets;
    document["unanswered_targets"] = run.unansweredTargets;
    document["findings"] = JsonDocument::array();
    for (const auto& finding : run.findings) {
        document["findings"].push_back({{"target", finding.target},
                                        {"kind", findingKindText(finding.kind)},
                                        {"text", finding.text}});
    }
    document["summary"] = jsonSummary(run);
    out << jsonDocumentText(document);
}

}  // namespace ostrivane
