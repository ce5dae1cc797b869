#pragma once

// An IPv4 or IPv6 address, the one address type of every lookup: the window's,
// the check's and the history's. It is parsed, printed and reversed into a
// list's query name here and nowhere else.

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrivane {

struct IpAddress {
    enum class Family : std::uint8_t { V4, V6 };
    Family family = Family::V4;
    std::array<std::uint8_t, 16> bytes{};  // IPv4 uses the first four

    friend auto operator<=>(const IpAddress&, const IpAddress&) = default;
};

// The address a resolver answered with, four bytes in network order.
IpAddress ipv4Address(const std::array<std::uint8_t, 4>& bytes);

// Dotted quad or IPv6 text (no zone index); nothing for anything else.
std::optional<IpAddress> parseIpAddress(std::string_view text);

// The canonical text: dotted quad, or RFC 5952 IPv6 ("2001:db8::99").
std::string formatIpAddress(const IpAddress& address);

// The part of a list's query name before the zone, as RFC 5782 writes it:
// 192.0.2.99 -> "99.2.0.192"; IPv6: the 32 nibbles in reverse, dot-separated.
std::string reversedName(const IpAddress& address);

// 192.0.2.99 in zone "bl.example" -> "99.2.0.192.bl.example".
std::string listQueryName(const IpAddress& address, std::string_view zone);

}  // namespace ostrivane
