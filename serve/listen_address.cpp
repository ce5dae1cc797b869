#include "serve/listen_address.h"

#include <arpa/inet.h>

#include <charconv>
#include <string>

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
    unsigned char bytes[16];
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        if (::inet_pton(AF_INET6, std::string(host).c_str(), bytes) != 1) {
            return std::nullopt;
        }
    } else if (::inet_pton(AF_INET, std::string(host).c_str(), bytes) != 1) {
        return std::nullopt;
    }
    address.host = std::string(host);
    return address;
}

}  // namespace ostrivane
