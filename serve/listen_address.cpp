#include "serve/listen_address.h"

#include <charconv>
#include <string>

#include "core/ip_address.h"

namespace ostrivane {

std::optional<ListenAddress> parseListenAddress(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view host = text.substr(0, colon);
    const std::string_view portText = text.substr(colon + 1);
    int port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || error != std::errc{} || end != portText.data() + portText.size() ||
        port < 1 || port > 65535) {
        return std::nullopt;
    }
    ListenAddress address;
    address.port = port;
    if (host.empty()) {
        return address;
    }
    // An IPv6 address in brackets, an IPv4 address without.
    auto family = IpAddress::Family::V4;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        family = IpAddress::Family::V6;
    }
    const auto parsed = parseIpAddress(host);
    if (!parsed || parsed->family != family) {
        return std::nullopt;
    }
    address.host = std::string(host);
    return address;
}

}  // namespace ostrivane
