#include <optional>
#include <ostream>
#include <span>

#include "formats/check_output.h"
#include "formats/output_formats.h"
#include "text/json_text.h"

namespace ostrivane {

namespace {

JsonDocument jsonOrNull(const std::optional<std::string>& text) {
    return text ? JsonDocument(*text) : JsonDocument(nullptr);
}

// Beside each answer of a catalog list: its class and meaning (null when the
// list has none for the code); empty for a list the catalog does not know.
JsonDocument answerMeanings(const CheckResult& result) {
    JsonDocument meanings = JsonDocument::array();
    for (std::size_t a = 0; a < result.meanings.size() && a < result.answers.size(); ++a) {
        const auto& meaning = result.meanings[a];
        meanings.push_back(
            {{"answer", result.answers[a]},
             {"class", meaning.answerClass},
             {"meaning",
              jsonOrNull(meaning.meaning.empty() ? std::nullopt
                                                 : std::optional<std::string>(meaning.meaning))}});
    }
    return meanings;
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
        {"answer_meanings", answerMeanings(result)},
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

// The document's members after the results, in their order.
JsonDocument jsonTail(const CheckRun& run) {
    JsonDocument document;
    document["duration_ms"] = run.durationMs;
    document["zones"] = JsonDocument::array();
    for (const auto& zone : run.zones) {
        document["zones"].push_back({{"zone", zone.zone},
                                     {"name", zone.name},
                                     {"state", zoneHealthKey(zone.health)},
                                     {"ipv4", zoneHealthKey(zone.ipv4)},
                                     {"ipv6", zoneHealthKey(zone.ipv6)},
                                     {"kind", zone.domainList ? "domains" : "addresses"}});
    }
    document["unresolved_targets"] = run.unresolvedTargets;
    document["notices"] = run.notices;
    document["unanswered_targets"] = run.unansweredTargets;
    document["findings"] = JsonDocument::array();
    for (const auto& finding : run.findings) {
        document["findings"].push_back({{"target", finding.target},
                                        {"kind", findingKindText(finding.kind)},
                                        {"text", finding.text}});
    }
    document["summary"] = jsonSummary(run);
    return document;
}

// The document as jsonDocumentText lays it out, written as the results come:
// "checked_at" and the results first, the members that need the whole run
// (the zones' states, the summary) after them.
class JsonPrinter : public CheckPrinter {
  public:
    JsonPrinter(EpochMs startedAt, std::ostream& out) : m_startedAt(startedAt), m_out(out) {}

    void address(std::span<const CheckResult> results) override {
        for (const auto& result : results) {
            open();
            m_out << (m_results == 0 ? "\n    " : ",\n    ") << jsonLine(jsonResult(result));
            ++m_results;
        }
        m_out.flush();
    }

    void finish(const CheckRun& run, int /*status*/,
                const std::vector<std::string>& /*problems*/) override {
        open();
        m_out << (m_results == 0 ? "]" : "\n  ]");
        // The tail as a document of its own, its opening brace made a comma.
        const std::string tail = jsonDocumentText(jsonTail(run));
        m_out << "," << std::string_view(tail).substr(1);
    }

  private:
    void open() {
        if (!m_opened) {
            m_out << "{\n  \"checked_at\": " << jsonString(formatRfc3339(m_startedAt))
                  << ",\n  \"results\": [";
            m_opened = true;
        }
    }

    EpochMs m_startedAt;
    std::ostream& m_out;
    bool m_opened = false;
    std::size_t m_results = 0;
};

}  // namespace

std::unique_ptr<CheckPrinter> jsonPrinter(EpochMs startedAt, std::ostream& out) {
    return std::make_unique<JsonPrinter>(startedAt, out);
}

}  // namespace ostrivane
