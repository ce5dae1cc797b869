#include "serve/exporter.h"

#include <algorithm>

namespace ostrivane {

namespace {

constexpr std::size_t kLongestTarget = 255;

std::optional<std::string> onlyValue(const QueryParameters& parameters, const std::string& name,
                                     std::string& problem) {
    const auto count = parameters.count(name);
    if (count > 1) {
        problem = "the parameter '" + name + "' is given more than once";
    }
    if (count != 1) {
        return std::nullopt;
    }
    return parameters.find(name)->second;
}

HttpReply metricsReply(const std::vector<MetricFamily>& families, MetricsFormat format) {
    return {200, std::string(metricsContentType(format)), renderMetrics(families, format), {}};
}

// A probe turned away for now: the client may try again in a second.
HttpReply tooManyProbes(std::string text) {
    return {429, "text/plain; charset=utf-8", std::move(text), {{"Retry-After", "1"}}};
}

}  // namespace

MetricsFormat negotiateMetricsFormat(std::string_view acceptHeader) {
    return acceptHeader.find("application/openmetrics-text") != std::string_view::npos
               ? MetricsFormat::OpenMetrics
               : MetricsFormat::Prometheus;
}

HttpReply badRequest(std::string_view reason) {
    return {400, "text/plain; charset=utf-8", "Bad request: " + std::string(reason) + "\n", {}};
}

Exporter::Exporter(ProbeLimits limits, ProbeRunner runProbe)
    : m_runProbe(std::move(runProbe)),
      m_rate(limits.perSecond, limits.burst),
      m_gate(limits.atOnce) {}

void Exporter::setZones(std::vector<std::string> zones) {
    std::lock_guard lock(m_mutex);
    m_zones = std::move(zones);
}

void Exporter::publish(const CheckRun& run) {
    std::lock_guard lock(m_mutex);
    m_latest = checkRunFamilies(run);
    ++m_counters.checks;
}

void Exporter::countFailure(Failure failure) {
    std::lock_guard lock(m_mutex);
    switch (failure) {
        case Failure::Check:
            ++m_counters.checkFailures;
            break;
        case Failure::History:
            ++m_counters.historyFailures;
            break;
        case Failure::Config:
            ++m_counters.configFailures;
            break;
    }
}

void Exporter::countBadRequest() {
    std::lock_guard lock(m_mutex);
    ++m_counters.badRequests;
}

HttpReply Exporter::metrics(std::string_view acceptHeader) {
    std::vector<MetricFamily> families = {buildInfoFamily()};
    {
        std::lock_guard lock(m_mutex);
        if (m_latest) {
            families.insert(families.end(), m_latest->begin(), m_latest->end());
        }
        const auto own = exporterFamilies(m_counters);
        families.insert(families.end(), own.begin(), own.end());
    }
    return metricsReply(families, negotiateMetricsFormat(acceptHeader));
}

std::variant<std::vector<std::string>, ProbeRefusal> Exporter::probeZones(
    const QueryParameters& parameters) {
    std::string problem;
    const auto zone = onlyValue(parameters, "zone", problem);
    if (!problem.empty()) {
        return ProbeRefusal{400, problem};
    }
    std::lock_guard lock(m_mutex);
    if (!zone) {
        return m_zones;
    }
    std::string wanted = *zone;
    if (!wanted.empty() && wanted.back() == '.') {
        wanted.pop_back();
    }
    if (std::find(m_zones.begin(), m_zones.end(), wanted) == m_zones.end()) {
        return ProbeRefusal{400, "the zone is not one of the lists this exporter checks"};
    }
    return std::vector<std::string>{wanted};
}

HttpReply Exporter::probe(const QueryParameters& parameters) {
    for (const auto& [name, value] : parameters) {
        if (name != "target" && name != "zone") {
            countBadRequest();
            return badRequest("unknown parameter (a probe takes 'target' and 'zone')");
        }
    }
    std::string problem;
    const auto target = onlyValue(parameters, "target", problem);
    if (!target || target->empty() || target->size() > kLongestTarget) {
        countBadRequest();
        return badRequest(
            !problem.empty() ? problem : "a probe needs one 'target' of at most 255 characters");
    }
    auto zones = probeZones(parameters);
    if (const auto* refusal = std::get_if<ProbeRefusal>(&zones)) {
        countBadRequest();
        return badRequest(refusal->reason);
    }
    if (!m_rate.tryTake()) {
        std::lock_guard lock(m_mutex);
        ++m_counters.probesRateLimited;
        return tooManyProbes("Too many probes: try again in a second.\n");
    }
    const auto pass = m_gate.tryEnter();
    if (!pass) {
        std::lock_guard lock(m_mutex);
        ++m_counters.probesBusy;
        return tooManyProbes("Too many probes at once: try again later.\n");
    }
    auto outcome = m_runProbe(*target, std::get<std::vector<std::string>>(zones));
    if (const auto* refusal = std::get_if<ProbeRefusal>(&outcome)) {
        return refusedProbe(*refusal);
    }
    {
        std::lock_guard lock(m_mutex);
        ++m_counters.probes;
    }
    return metricsReply(probeFamilies(std::get<CheckRun>(outcome)), MetricsFormat::Prometheus);
}

HttpReply Exporter::refusedProbe(const ProbeRefusal& refusal) {
    if (refusal.status == 400) {
        countBadRequest();
        return badRequest(refusal.reason);
    }
    if (refusal.status == 422) {
        std::lock_guard lock(m_mutex);
        ++m_counters.probesTooLarge;
    }
    return {refusal.status, "text/plain; charset=utf-8", refusal.reason + "\n", {}};
}

HttpReply Exporter::frontPage() const {
    return {200,
            "text/html; charset=utf-8",
            "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<title>Ostrivane exporter</title></head>\n<body><h1>Ostrivane exporter</h1>\n"
            "<p>Whether your mail hosts are listed on DNS blacklists, for Prometheus.</p>\n<ul>\n"
            "<li><a href=\"metrics\">metrics</a>: the latest periodic check</li>\n"
            "<li><a href=\"probe?target=192.0.2.1\">probe?target=&hellip;</a>: one check on "
            "demand, against the configured lists (optional <code>&amp;zone=</code>)</li>\n"
            "<li><a href=\"healthz\">healthz</a></li>\n</ul>\n"
            "<p>ostrivane " OSTRIVANE_VERSION "</p>\n</body></html>\n",
            {}};
}

HttpReply Exporter::health() {
    std::lock_guard lock(m_mutex);
    return {200,
            "text/plain; charset=utf-8",
            m_latest ? "ok\n" : "ok: the first check is still running\n",
            {}};
}

}  // namespace ostrivane
