#include "metrics/metric_family.h"

#include <charconv>
#include <cmath>

#include "text/utf8.h"

namespace ostrivane {

namespace {

// HELP texts escape backslash and line feed (OpenMetrics also the quote).
std::string escapeHelp(std::string_view help, MetricsFormat format) {
    std::string text;
    for (const char c : help) {
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '"' && format == MetricsFormat::OpenMetrics) {
            text += "\\\"";
        } else {
            text += c;
        }
    }
    return text;
}

std::string sampleName(const MetricFamily& family) {
    return family.type == MetricType::Counter ? family.name + "_total" : family.name;
}

void writeSample(std::string& out, const std::string& name, const MetricSample& sample) {
    out += name;
    if (!sample.labels.empty()) {
        out += '{';
        bool first = true;
        for (const auto& [label, value] : sample.labels) {
            out += (first ? "" : ",") + label + "=\"" + escapeLabelValue(value) + '"';
            first = false;
        }
        out += '}';
    }
    out += ' ' + formatMetricValue(sample.value) + '\n';
}

}  // namespace

std::string escapeLabelValue(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    forEachCharacter(
        value,
        [&text](char32_t c, std::string_view character) {
            switch (c) {
                case '\\':
                    text += "\\\\";
                    break;
                case '"':
                    text += "\\\"";
                    break;
                case '\n':
                    text += "\\n";
                    break;
                default:
                    text += character;
            }
        },
        [&text](unsigned char) { text += "\xEF\xBF\xBD"; });
    return text;
}

std::string formatMetricValue(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc{} ? std::string(buffer, end) : "NaN";
}

std::string renderMetrics(const std::vector<MetricFamily>& families, MetricsFormat format) {
    std::string out;
    for (const auto& family : families) {
        if (family.samples.empty()) {
            continue;
        }
        const bool open = format == MetricsFormat::OpenMetrics;
        // The text format names a counter's family by its samples' name.
        const std::string familyName = open ? family.name : sampleName(family);
        out += "# HELP " + familyName + ' ' + escapeHelp(family.help, format) + '\n';
        out += "# TYPE " + familyName + ' ' +
               (family.type == MetricType::Counter ? "counter" : "gauge") + '\n';
        if (open && !family.unit.empty()) {
            out += "# UNIT " + familyName + ' ' + family.unit + '\n';
        }
        const std::string name = sampleName(family);
        for (const auto& sample : family.samples) {
            writeSample(out, name, sample);
        }
    }
    if (format == MetricsFormat::OpenMetrics) {
        out += "# EOF\n";
    }
    return out;
}

std::string_view metricsContentType(MetricsFormat format) {
    return format == MetricsFormat::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

}  // namespace ostrivane
