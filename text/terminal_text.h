#pragma once

// Text from a list file on its way to a terminal: it must not move the
// cursor, recolour the screen or set the window title, and columns of it must
// line up however many bytes a character takes.

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrivane {

// The text with every control character shown as a visible escape: \t, \n
// and \r as such, other C0 controls and DEL as \xHH, C1 controls and the
// bidirectional overrides (which reorder what follows them) as \uHHHH, and
// each byte that is not part of valid UTF-8 as \xHH. Other UTF-8 is kept.
std::string escapeForTerminal(std::string_view text);

// The columns valid UTF-8 text takes on a terminal: one per code point, two
// for East Asian wide and full-width characters, none for combining marks
// and zero-width characters.
std::size_t displayWidth(std::string_view text);

}  // namespace ostrivane
