#pragma once

// What the fuzz targets share: a broken invariant fails like a crash, so that
// libFuzzer keeps the input, and the input cut into the values it stands for.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace ostrivane::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Control bytes and bytes above 0x7E as \xNN, so a value shows on one line.
inline std::string printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0x0F];
        }
    }
    return shown;
}

[[noreturn]] inline void fail(std::string_view what, std::string_view value) {
    const std::string shown = printable(value);
    std::fprintf(stderr, "broken: %.*s\n  value: \"%s\"\n", static_cast<int>(what.size()),
                 what.data(), shown.c_str());
    std::abort();
}

inline void check(bool holds, std::string_view what, std::string_view value = {}) {
    if (!holds) {
        fail(what, value);
    }
}

// The input cut at NUL bytes. No value of the table treats a NUL specially, so
// the target loses nothing by never seeing one inside a value.
inline std::vector<std::string_view> splitAtNul(std::string_view input) {
    std::vector<std::string_view> values;
    for (;;) {
        const auto end = input.find('\0');
        values.push_back(input.substr(0, end));
        if (end == std::string_view::npos) {
            return values;
        }
        input.remove_prefix(end + 1);
    }
}

}  // namespace ostrivane::fuzz
