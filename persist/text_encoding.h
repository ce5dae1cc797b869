#pragma once

// The two encodings a list file comes in: UTF-8, which the program writes, and
// Windows-1252, in which older copies kept names such as "Liste für Spam".

#include <optional>
#include <string>
#include <string_view>

namespace ostrivane {

enum class TextEncoding { Utf8, Windows1252 };

// Every byte stands for one character; the five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 code points of the
// same number, so that writing the text back restores them.
std::string utf8FromWindows1252(std::string_view bytes);

// The UTF-8 text in Windows-1252, or nothing when a character has no byte there.
std::optional<std::string> windows1252FromUtf8(std::string_view text);

}  // namespace ostrivane
