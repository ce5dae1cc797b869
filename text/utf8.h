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

// Walks the text in order: `character(codePoint, bytes)` for each valid UTF-8
// character, `stray(byte)` for each byte that begins none. Every escaper and
// measure of text walks it so, and shows a stray byte its own way.
template <typename Character, typename Stray>
void forEachCharacter(std::string_view text, Character&& character, Stray&& stray) {
    while (!text.empty()) {
        const auto decoded = decodeUtf8(text);
        if (!decoded) {
            stray(static_cast<unsigned char>(text.front()));
            text.remove_prefix(1);
            continue;
        }
        character(decoded->codePoint, text.substr(0, decoded->length));
        text.remove_prefix(decoded->length);
    }
}

// Strict UTF-8 throughout: no overlong forms, no surrogates, nothing above
// U+10FFFF, no sequence cut short.
bool isValidUtf8(std::string_view bytes);

// Appends the code point (at most U+10FFFF, no surrogate) in UTF-8.
void appendUtf8(std::string& text, char32_t codePoint);

}  // namespace ostrivane
