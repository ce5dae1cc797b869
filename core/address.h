#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrivane {

// Four address bytes in network order, or nothing when a name did not resolve.
using IPv4Bytes = std::optional<std::array<std::uint8_t, 4>>;

// 127, 0, 0, 2 -> "127.0.0.2": unsigned decimals without leading zeros.
std::string formatDottedQuad(const std::array<std::uint8_t, 4>& address);

// The name a blacklist is asked: the reversed address (reversedName in
// core/ip_address.h), ".", and the zone as the row holds it (no trimming, no
// trailing dot).
std::string queryName(std::string_view reversedAddress, std::string_view zone);

// Blacklists answer from 127.255.255.0/24 to say they refuse or cannot answer
// the question (bad zone, public resolver, rate limit), not that it is listed.
bool isListErrorAnswer(const std::array<std::uint8_t, 4>& address);

// A blacklist answers from 127.0.0.0/8 only. Any other address (0.0.0.0, a
// private one, a parked domain's web server answering every name) is not a
// listing, and neither is an error code from 127.255.255.0/24.
bool isListingAnswer(const std::array<std::uint8_t, 4>& address);

// Letters, digits, hyphens (and underscores, which some real hosts carry), in
// labels of 1 to 63, at most 253 in all, without a trailing dot. A name of
// digits and dots only would be a mistyped address, so it is not a host name.
bool isHostName(std::string_view name);

// True for text written as an IPv6 address ("2001:db8::1", "::ffff:192.0.2.1",
// "[fe80::1%eth0]"): at least two colons, and only hex digits, dots and
// colons before any zone index. No host name holds a colon.
bool looksLikeIPv6Address(std::string_view text);

}  // namespace ostrivane
