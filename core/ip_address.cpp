#include "core/ip_address.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <algorithm>

#include "core/address.h"

namespace ostrivane {

IpAddress ipv4Address(const std::array<std::uint8_t, 4>& bytes) {
    IpAddress address;
    std::copy(bytes.begin(), bytes.end(), address.bytes.begin());
    return address;
}

std::optional<IpAddress> parseIpAddress(std::string_view text) {
    // inet_pton wants a terminated string, and must not see an embedded NUL.
    if (text.empty() || text.size() > INET6_ADDRSTRLEN || text.find('\0') != text.npos) {
        return std::nullopt;
    }
    const std::string terminated(text);
    IpAddress address;
    if (inet_pton(AF_INET, terminated.c_str(), address.bytes.data()) == 1) {
        address.family = IpAddress::Family::V4;
        return address;
    }
    if (inet_pton(AF_INET6, terminated.c_str(), address.bytes.data()) == 1) {
        address.family = IpAddress::Family::V6;
        return address;
    }
    return std::nullopt;
}

std::string formatIpAddress(const IpAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    const int family = address.family == IpAddress::Family::V4 ? AF_INET : AF_INET6;
    if (inet_ntop(family, address.bytes.data(), text, sizeof text) == nullptr) {
        return {};
    }
    return text;
}

std::string reversedName(const IpAddress& address) {
    std::string name;
    if (address.family == IpAddress::Family::V4) {
        for (int i = 3; i >= 0; --i) {
            name += std::to_string(address.bytes[static_cast<std::size_t>(i)]);
            if (i > 0) {
                name += '.';
            }
        }
        return name;
    }
    constexpr std::string_view kHex = "0123456789abcdef";
    for (int i = 15; i >= 0; --i) {
        const auto byte = address.bytes[static_cast<std::size_t>(i)];
        name += kHex[byte & 0x0F];
        name += '.';
        name += kHex[byte >> 4];
        if (i > 0) {
            name += '.';
        }
    }
    return name;
}

std::string listQueryName(const IpAddress& address, std::string_view zone) {
    return queryName(reversedName(address), zone);
}

}  // namespace ostrivane
