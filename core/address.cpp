#include "core/address.h"

#include <algorithm>

#include "core/ip_address.h"

namespace ostrivane {

std::string formatDottedQuad(const std::array<std::uint8_t, 4>& address) {
    return formatIpAddress(ipv4Address(address));
}

std::string queryName(std::string_view reversedAddress, std::string_view zone) {
    std::string name(reversedAddress);
    name += '.';
    name += zone;
    return name;
}

bool isListErrorAnswer(const std::array<std::uint8_t, 4>& address) {
    return address[0] == 127 && address[1] == 255 && address[2] == 255;
}

bool isListingAnswer(const std::array<std::uint8_t, 4>& address) {
    return address[0] == 127 && !isListErrorAnswer(address);
}

bool looksLikeIPv6Address(std::string_view text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    text = text.substr(0, text.find('%'));
    const auto colons = std::count(text.begin(), text.end(), ':');
    return colons >= 2 &&
           text.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
}

}  // namespace ostrivane
