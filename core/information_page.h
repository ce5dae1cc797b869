#pragma once

#include <string>
#include <string_view>

namespace ostrivane {

inline constexpr std::string_view kSearchPrefix = "https://www.google.com/search?q=";

// The web page about the blacklist a row names: the last of the 13 ordered,
// case-sensitive substring rules that matches wins (a rule without a page
// clears an earlier match); with no page, a web search for the name.
std::string informationPageFor(std::string_view name);

// Every byte but the unreserved ones as %XX, so the search terms are exactly
// the name ("AT&T", "#", blanks and all).
std::string percentEncode(std::string_view text);

}  // namespace ostrivane
