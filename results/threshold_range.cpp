#include "results/threshold_range.h"

#include <charconv>
#include <cmath>

namespace ostrivane {

namespace {

std::optional<double> numberOf(std::string_view text) {
    double value = 0;
    if (text.empty() || text.front() == '+') {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::variant<ThresholdRange, std::string> parseThresholdRange(std::string_view text) {
    ThresholdRange range;
    range.text = std::string(text);
    const std::string why = "\"" + range.text +
                            "\" is not a range (N, N:, ~:N, N:M or @N:M, as the Monitoring "
                            "Plugins write them)";
    if (!text.empty() && text.front() == '@') {
        range.inside = true;
        text.remove_prefix(1);
    }
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        range.low = 0;
        range.high = numberOf(text);
        if (!range.high) {
            return why;
        }
    } else {
        const auto low = text.substr(0, colon);
        const auto high = text.substr(colon + 1);
        if (low != "~") {
            range.low = low.empty() ? std::optional<double>(0) : numberOf(low);
            if (!range.low) {
                return why;
            }
        }
        if (!high.empty()) {
            range.high = numberOf(high);
            if (!range.high) {
                return why;
            }
        }
    }
    if (range.low && range.high && *range.low > *range.high) {
        return "\"" + range.text + "\" is not a range: its start is above its end";
    }
    return range;
}

bool alerts(const ThresholdRange& range, double value) {
    const bool within =
        (!range.low || value >= *range.low) && (!range.high || value <= *range.high);
    return range.inside ? within : !within;
}

}  // namespace ostrivane
