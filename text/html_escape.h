#pragma once

#include <string>
#include <string_view>

namespace ostrivane {

// & < > " and ' as character references, so that no value (a list's name, a
// host, a TXT record from outside) can add markup to a page that is often
// published as it stands, in text or in a quoted attribute.
std::string htmlEscape(std::string_view text);

}  // namespace ostrivane
