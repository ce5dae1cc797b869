#pragma once

#include <functional>
#include <string>

namespace ostrivane {

// Hands a web address to whatever opens addresses for the user.
using UrlOpener = std::function<void(const std::string& address)>;

// The desktop's own handler for web addresses (the user's browser). The
// address goes over as one parsed URL, never through a shell command line;
// whether a browser opened it is not looked at.
void openInShell(const std::string& address);

}  // namespace ostrivane
