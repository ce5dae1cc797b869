#include "text/terminal_text.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "text/hex.h"
#include "text/utf8.h"

namespace ostrivane {

namespace {

bool isBidiControl(char32_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

using Range = std::pair<char32_t, char32_t>;

constexpr std::array kWide{
    Range{0x1100, 0x115F},   Range{0x2E80, 0x303E},   Range{0x3041, 0x33FF},
    Range{0x3400, 0x4DBF},   Range{0x4E00, 0x9FFF},   Range{0xA000, 0xA4CF},
    Range{0xAC00, 0xD7A3},   Range{0xF900, 0xFAFF},   Range{0xFE30, 0xFE4F},
    Range{0xFF00, 0xFF60},   Range{0xFFE0, 0xFFE6},   Range{0x1F300, 0x1F64F},
    Range{0x1F900, 0x1F9FF}, Range{0x20000, 0x2FFFD}, Range{0x30000, 0x3FFFD},
};

constexpr std::array kZeroWidth{
    Range{0x0300, 0x036F}, Range{0x200B, 0x200F}, Range{0x20D0, 0x20FF},
    Range{0xFE00, 0xFE0F}, Range{0xFE20, 0xFE2F}, Range{0xFEFF, 0xFEFF},
};

template <std::size_t N>
bool isIn(const std::array<Range, N>& ranges, char32_t c) {
    for (const auto& [first, last] : ranges) {
        if (c >= first && c <= last) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string escapeForTerminal(std::string_view text) {
    std::string shown;
    forEachCharacter(
        text,
        [&shown](char32_t c, std::string_view bytes) {
            if (c == '\t') {
                shown += "\\t";
            } else if (c == '\n') {
                shown += "\\n";
            } else if (c == '\r') {
                shown += "\\r";
            } else if (c < 0x20 || c == 0x7F) {
                shown += "\\x" + lowerHex(static_cast<unsigned>(c), 2);
            } else if ((c >= 0x80 && c <= 0x9F) || isBidiControl(c)) {
                shown += "\\u" + lowerHex(static_cast<unsigned>(c), 4);
            } else {
                shown += bytes;
            }
        },
        [&shown](unsigned char byte) { shown += "\\x" + lowerHex(byte, 2); });
    return shown;
}

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    forEachCharacter(
        text,
        [&width](char32_t c, std::string_view) {
            width += isIn(kZeroWidth, c) ? 0 : isIn(kWide, c) ? 2 : 1;
        },
        [&width](unsigned char) { ++width; });  // shown as one replacement character, if at all
    return width;
}

}  // namespace ostrivane
