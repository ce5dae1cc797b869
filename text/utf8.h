#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ostrivane {

struct DecodedCodePoint {
    char32_t codePoint = 0;
    std::size_t length = 0;  // in bytes
};

// The code point at the start of the text, when it starts with valid UTF-8
// (shortest form, no surrogates, at most U+10FFFF); nothing for empty text.
std::optional<DecodedCodePoint> decodeUtf8(std::string_view text);

// Strict UTF-8 throughout: no overlong forms, no surrogates, nothing above
// U+10FFFF, no sequence cut short.
bool isValidUtf8(std::string_view bytes);

// Appends the code point (at most U+10FFFF, no surrogate) in UTF-8.
void appendUtf8(std::string& text, char32_t codePoint);

}  // namespace ostrivane
