#include "metrics/check_metrics.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <utility>

namespace ostrivane {

namespace {

constexpr std::array kVerdicts = {CheckVerdict::Listed,     CheckVerdict::NotListed,
                                  CheckVerdict::NoAnswer,   CheckVerdict::ListError,
                                  CheckVerdict::BrokenZone, CheckVerdict::NotCovered};

// "lists everything" -> "lists-everything": label values without spaces.
std::string listNameOf(const CheckRun& run, std::string_view zone) {
    const auto found = std::find_if(run.zones.begin(), run.zones.end(),
                                    [zone](const CheckedZone& z) { return z.zone == zone; });
    return found == run.zones.end() ? std::string() : found->name;
}

MetricFamily gauge(std::string name, std::string help, std::string unit = {}) {
    return {std::move(name), std::move(help), MetricType::Gauge, std::move(unit), {}};
}

MetricFamily counter(std::string name, std::string help, std::uint64_t value) {
    MetricFamily family{std::move(name), std::move(help), MetricType::Counter, {}, {}};
    family.samples.push_back({{}, static_cast<double>(value)});
    return family;
}

std::vector<MetricFamily> resultFamilies(const CheckRun& run, const AnswerDescriber& describe) {
    auto listed = gauge("ostrivane_listed",
                        "Whether the subject is listed on the list (1) or not (0); absent when "
                        "the list gave no verdict.");
    auto answers = gauge("ostrivane_answer_info",
                         "An answer code of a list for the subject, with its class and meaning.");
    for (const auto& result : run.results) {
        const std::string list = listNameOf(run, result.zone);
        if (result.verdict == CheckVerdict::Listed || result.verdict == CheckVerdict::NotListed) {
            listed.samples.push_back({{{"subject", result.address},
                                       {"target", result.target},
                                       {"zone", result.zone},
                                       {"list", list}},
                                      result.verdict == CheckVerdict::Listed ? 1.0 : 0.0});
        }
        for (std::size_t i = 0; i < result.answers.size(); ++i) {
            const auto& answer = result.answers[i];
            // The catalog's meaning when the run was decoded with it.
            const auto meaning =
                i < result.meanings.size() ? result.meanings[i] : describe(result.zone, answer);
            answers.samples.push_back({{{"subject", result.address},
                                        {"zone", result.zone},
                                        {"list", list},
                                        {"answer", answer},
                                        {"class", meaning.answerClass},
                                        {"meaning", meaning.meaning}},
                                       1.0});
        }
    }
    return {std::move(listed), std::move(answers)};
}

// Each family by its own test points; a domain list is judged once, on its
// domain test points.
std::vector<std::pair<std::string, ZoneHealth>> familyStatesOf(const CheckedZone& zone) {
    if (zone.domainList) {
        return {{"domain", zone.health}};
    }
    return {{"ipv4", zone.ipv4}, {"ipv6", zone.ipv6}};
}

std::vector<MetricFamily> zoneFamilies(const CheckRun& run) {
    auto healthy = gauge("ostrivane_list_healthy",
                         "Whether the list answers its test points as a working list does, per "
                         "address family.");
    auto health = gauge("ostrivane_list_health_info",
                        "The state of the list per address family: healthy, lists-everything, "
                        "empty-or-dead or refuses-us.");
    for (const auto& zone : run.zones) {
        for (const auto& [family, state] : familyStatesOf(zone)) {
            const MetricLabels labels = {
                {"zone", zone.zone}, {"list", zone.name}, {"family", family}};
            healthy.samples.push_back({labels, state == ZoneHealth::Healthy ? 1.0 : 0.0});
            auto stateLabels = labels;
            stateLabels.emplace_back("health", zoneHealthKey(state));
            health.samples.push_back({std::move(stateLabels), 1.0});
        }
    }
    return {std::move(healthy), std::move(health)};
}

std::vector<MetricFamily> summaryFamilies(const CheckRun& run) {
    auto results = gauge("ostrivane_last_check_results",
                         "Results of the last check by verdict (one per subject and list).");
    for (const auto verdict : kVerdicts) {
        const auto count =
            std::count_if(run.results.begin(), run.results.end(),
                          [verdict](const CheckResult& r) { return r.verdict == verdict; });
        results.samples.push_back(
            {{{"verdict", std::string(checkVerdictText(verdict))}}, static_cast<double>(count)});
    }
    std::vector<std::string_view> subjects;
    std::size_t newListings = 0;
    for (const auto& result : run.results) {
        if (std::find(subjects.begin(), subjects.end(), result.address) == subjects.end()) {
            subjects.push_back(result.address);
        }
        newListings += result.change == ListingChange::New ? 1 : 0;
    }
    auto subjectCount =
        gauge("ostrivane_last_check_subjects", "Addresses asked about in the last check.");
    subjectCount.samples.push_back({{}, static_cast<double>(subjects.size())});
    auto fresh = gauge("ostrivane_last_check_new_listings",
                       "Listings in the last check that the previous check had not seen.");
    fresh.samples.push_back({{}, static_cast<double>(newListings)});
    auto unresolvedCount = gauge("ostrivane_last_check_unresolved_targets",
                                 "Targets of the last check that resolved to no address.");
    unresolvedCount.samples.push_back({{}, static_cast<double>(run.unresolvedTargets.size())});
    auto unresolved = gauge("ostrivane_target_unresolved",
                            "A target of the last check that resolved to no address.");
    for (const auto& target : run.unresolvedTargets) {
        unresolved.samples.push_back({{{"target", target}}, 1.0});
    }
    auto unanswered = gauge("ostrivane_target_unanswered",
                            "A host name of the last check whose lookup got no answer.");
    for (const auto& target : run.unansweredTargets) {
        unanswered.samples.push_back({{{"target", target}}, 1.0});
    }
    return {std::move(results),         std::move(subjectCount), std::move(fresh),
            std::move(unresolvedCount), std::move(unresolved),   std::move(unanswered)};
}

std::vector<MetricFamily> timeFamilies(const CheckRun& run) {
    auto duration =
        gauge("ostrivane_last_check_duration_seconds", "How long the last check took.", "seconds");
    duration.samples.push_back({{}, static_cast<double>(run.durationMs) / 1000.0});
    auto time = gauge("ostrivane_last_check_timestamp_seconds",
                      "When the last check started, in seconds since 1970.", "seconds");
    time.samples.push_back({{}, static_cast<double>(run.startedAt) / 1000.0});
    return {std::move(duration), std::move(time)};
}

void append(std::vector<MetricFamily>& families, std::vector<MetricFamily> more) {
    std::move(more.begin(), more.end(), std::back_inserter(families));
}

bool parseDottedQuad(std::string_view text, std::array<int, 4>& octets) {
    for (std::size_t i = 0; i < octets.size(); ++i) {
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), octets[i]);
        if (error != std::errc{} || octets[i] < 0 || octets[i] > 255) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(end - text.data()));
        if (i < 3) {
            if (text.empty() || text.front() != '.') {
                return false;
            }
            text.remove_prefix(1);
        }
    }
    return text.empty();
}

}  // namespace

AnswerMeaning describeAnswerByRange(std::string_view /*zone*/, std::string_view answer) {
    std::array<int, 4> octets{};
    const bool listing = parseDottedQuad(answer, octets) && octets[0] == 127 &&
                         !(octets[1] == 255 && octets[2] == 255);
    return {listing ? "listing" : "list-error", {}};
}

std::vector<MetricFamily> checkRunFamilies(const CheckRun& run, const AnswerDescriber& describe) {
    auto families = resultFamilies(run, describe);
    append(families, zoneFamilies(run));
    append(families, summaryFamilies(run));
    append(families, timeFamilies(run));
    return families;
}

std::vector<MetricFamily> probeFamilies(const CheckRun& run, const AnswerDescriber& describe) {
    auto families = resultFamilies(run, describe);
    append(families, zoneFamilies(run));
    const bool complete = run.unresolvedTargets.empty() && run.unansweredTargets.empty() &&
                          std::all_of(run.results.begin(), run.results.end(),
                                      [](const CheckResult& r) {
                                          return r.verdict == CheckVerdict::Listed ||
                                                 r.verdict == CheckVerdict::NotListed ||
                                                 r.verdict == CheckVerdict::NotCovered;
                                      }) &&
                          uncoveredAddressesOf(run).empty();
    auto success = gauge("ostrivane_probe_success",
                         "Whether every list gave a verdict on every address of the target.");
    success.samples.push_back({{}, complete ? 1.0 : 0.0});
    auto duration =
        gauge("ostrivane_probe_duration_seconds", "How long the probe took.", "seconds");
    duration.samples.push_back({{}, static_cast<double>(run.durationMs) / 1000.0});
    families.push_back(std::move(success));
    families.push_back(std::move(duration));
    return families;
}

std::vector<MetricFamily> exporterFamilies(const ExporterCounters& counters) {
    auto errors = counter("ostrivane_errors", "Errors of the exporter itself, by kind.", 0);
    errors.samples = {{{{"kind", "check"}}, static_cast<double>(counters.checkFailures)},
                      {{{"kind", "history"}}, static_cast<double>(counters.historyFailures)},
                      {{{"kind", "config"}}, static_cast<double>(counters.configFailures)},
                      {{{"kind", "bad-request"}}, static_cast<double>(counters.badRequests)}};
    auto probes = counter("ostrivane_probes", "Requests to /probe, by outcome.", 0);
    probes.samples = {
        {{{"outcome", "checked"}}, static_cast<double>(counters.probes)},
        {{{"outcome", "rate-limited"}}, static_cast<double>(counters.probesRateLimited)},
        {{{"outcome", "busy"}}, static_cast<double>(counters.probesBusy)},
        {{{"outcome", "too-large"}}, static_cast<double>(counters.probesTooLarge)}};
    return {counter("ostrivane_checks", "Periodic checks finished since the exporter started.",
                    counters.checks),
            std::move(errors), std::move(probes)};
}

MetricFamily buildInfoFamily() {
    auto family = gauge("ostrivane_build_info", "The version of the program.");
    family.samples.push_back({{{"version", OSTRIVANE_VERSION}}, 1.0});
    return family;
}

}  // namespace ostrivane
