#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrivane {

// `value` as `digits` lower-case hexadecimal digits, for the \xHH and \uHHHH
// escapes of terminal and JSON text.
inline std::string lowerHex(unsigned value, int digits) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    }
    return text;
}

}  // namespace ostrivane
