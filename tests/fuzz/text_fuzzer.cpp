// Whatever bytes a list's name, zone or TXT record holds, the text library's
// escapes must hold: terminal text carries no control character and stays
// valid UTF-8, a JSON string is valid JSON that reads back as the text (when
// the text was UTF-8), and decoding then encoding UTF-8 gives the bytes back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "text/json_text.h"
#include "text/terminal_text.h"
#include "text/utf8.h"

namespace {

using namespace ostrivane;

// Control characters, DEL, C1 controls and the bidirectional overrides.
bool movesTheTerminal(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x061C;
}

void checkTerminalText(std::string_view text) {
    const std::string shown = escapeForTerminal(text);
    fuzz::check(isValidUtf8(shown), "terminal text is valid UTF-8", text);
    for (std::string_view rest = shown; !rest.empty();) {
        const auto decoded = decodeUtf8(rest);
        fuzz::check(!movesTheTerminal(decoded->codePoint), "terminal text holds no control", text);
        rest.remove_prefix(decoded->length);
    }
    const bool plain = shown.find('\\') == std::string::npos;
    fuzz::check(!plain || shown == text, "text without escapes is shown as it is", text);
}

void checkJsonString(std::string_view text) {
    const std::string json = jsonString(text);
    fuzz::check(JsonDocument::accept(json), "a JSON string parses", text);
    if (isValidUtf8(text)) {
        fuzz::check(JsonDocument::parse(json).get<std::string>() == text,
                    "a UTF-8 JSON string reads back as the text", text);
    }
}

void checkUtf8RoundTrip(std::string_view text) {
    std::string encoded;
    std::string_view rest = text;
    while (const auto decoded = decodeUtf8(rest)) {
        appendUtf8(encoded, decoded->codePoint);
        rest.remove_prefix(decoded->length);
    }
    fuzz::check(encoded == text.substr(0, text.size() - rest.size()),
                "decoded UTF-8 encodes back to its bytes", text);
    fuzz::check(isValidUtf8(text) == rest.empty(), "valid UTF-8 decodes to its end", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    checkTerminalText(text);
    checkJsonString(text);
    checkUtf8RoundTrip(text);
    return 0;
}
