#pragma once

// A threshold of the Monitoring Plugins: the range of values that is fine, as
// Nagios, Icinga and their perfdata parsers read it.
//
//   N       alert outside 0..N (so above N)
//   N:      alert below N
//   ~:N     alert above N
//   N:M     alert outside N..M
//   @N:M    alert inside N..M (the @ works with every form above)
//
// The same text goes into the perfdata, so that a parser's verdict on the
// value always equals the plugin's status.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ostrivane {

struct ThresholdRange {
    std::optional<double> low;   // none: minus infinity (~)
    std::optional<double> high;  // none: infinity
    bool inside = false;         // @: alert inside the range instead of outside
    std::string text;            // as given
};

// The range, or why the text is not one.
std::variant<ThresholdRange, std::string> parseThresholdRange(std::string_view text);

// True when the value calls for the threshold's state.
bool alerts(const ThresholdRange& range, double value);

}  // namespace ostrivane
