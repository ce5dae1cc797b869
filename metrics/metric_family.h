#pragma once

// Metric families and how they are written: the Prometheus text format
// (version 0.0.4) and OpenMetrics 1.0. Both share the sample lines and the
// label escaping; they differ in a counter's family name, the unit line and
// the end marker.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrivane {

enum class MetricsFormat { Prometheus, OpenMetrics };

enum class MetricType { Gauge, Counter };

using MetricLabels = std::vector<std::pair<std::string, std::string>>;

struct MetricSample {
    MetricLabels labels;
    double value = 0;
};

struct MetricFamily {
    std::string name;  // a counter's without "_total": the writer adds it to each sample
    std::string help;
    MetricType type = MetricType::Gauge;
    std::string unit;  // "seconds" when the name ends in "_seconds"; empty otherwise
    std::vector<MetricSample> samples;
};

// A label value as both formats quote it: backslash, double quote and line
// feed escaped; bytes that are not valid UTF-8 become U+FFFD, since a
// scraper rejects the whole page over one of them.
std::string escapeLabelValue(std::string_view value);

// "1", "0.25", "1.7e+09" — the shortest text that reads back as the value.
std::string formatMetricValue(double value);

// Every family with its HELP and TYPE lines (and UNIT in OpenMetrics), in
// the order given; OpenMetrics ends with "# EOF". A family without samples
// is left out.
std::string renderMetrics(const std::vector<MetricFamily>& families, MetricsFormat format);

// "text/plain; version=0.0.4; charset=utf-8" or the OpenMetrics media type.
std::string_view metricsContentType(MetricsFormat format);

}  // namespace ostrivane
