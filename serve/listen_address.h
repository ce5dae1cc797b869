#pragma once

#include <optional>
#include <string_view>

#include "serve/serve_loop.h"

namespace ostrivane {

// The port `ostrivane --serve` listens on when none is given.
inline constexpr int kDefaultServePort = 9716;

// "[ADDRESS]:PORT": an IPv4 address, an IPv6 address in brackets, or nothing
// (127.0.0.1), then a port from 1 to 65535. Nothing when malformed.
std::optional<ListenAddress> parseListenAddress(std::string_view text);

}  // namespace ostrivane
