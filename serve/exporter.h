#pragma once

// What `ostrivane --serve` answers, apart from the sockets: the latest
// periodic check as metrics, /probe with its limits, the front page and the
// health check. The server's threads call it; every member is thread-safe.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "metrics/check_metrics.h"
#include "results/check_result.h"
#include "serve/request_limits.h"

namespace ostrivane {

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// Why a probe checked nothing: the status to answer (400 for a bad target,
// 422 for one that covers more addresses than a probe asks about) and the
// reason.
struct ProbeRefusal {
    int status = 400;
    std::string reason;
};

// Checks one target against the given zones (all configured ones, or the one
// the probe named).
using ProbeRunner = std::function<std::variant<CheckRun, ProbeRefusal>(
    const std::string& target, const std::vector<std::string>& zones)>;

struct ProbeLimits {
    double perSecond = 5;
    double burst = 10;
    std::size_t atOnce = 4;
    // The addresses one probe may ask the lists about: a mail target's SPF
    // record may authorise thousands.
    std::size_t addresses = 256;
};

using QueryParameters = std::multimap<std::string, std::string>;

class Exporter {
  public:
    Exporter(ProbeLimits limits, ProbeRunner runProbe);

    // The lists a probe may ask: those the periodic check asks.
    void setZones(std::vector<std::string> zones);

    // After each periodic check: its results replace the previous ones.
    void publish(const CheckRun& run);

    enum class Failure { Check, History, Config };
    void countFailure(Failure failure);
    void countBadRequest();

    HttpReply metrics(std::string_view acceptHeader);
    HttpReply probe(const QueryParameters& parameters);
    HttpReply frontPage() const;
    HttpReply health();

  private:
    std::variant<std::vector<std::string>, ProbeRefusal> probeZones(
        const QueryParameters& parameters);
    HttpReply refusedProbe(const ProbeRefusal& refusal);

    ProbeRunner m_runProbe;
    TokenBucket m_rate;
    ConcurrencyGate m_gate;
    std::mutex m_mutex;  // guards what follows
    std::vector<std::string> m_zones;
    std::optional<std::vector<MetricFamily>> m_latest;
    ExporterCounters m_counters;
};

// "application/openmetrics-text" among the accepted types: OpenMetrics.
MetricsFormat negotiateMetricsFormat(std::string_view acceptHeader);

// A 400 reply naming what is wrong.
HttpReply badRequest(std::string_view reason);

}  // namespace ostrivane
