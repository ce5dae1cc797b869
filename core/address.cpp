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

namespace {

bool isHostNameLabel(std::string_view label) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
        return false;
    }
    return std::all_of(label.begin(), label.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

}  // namespace

bool isHostName(std::string_view name) {
    if (name.empty() || name.size() > 253 || name.find_first_not_of("0123456789.") == name.npos) {
        return false;
    }
    for (std::size_t start = 0;;) {
        const auto dot = name.find('.', start);
        if (!isHostNameLabel(name.substr(start, dot - start))) {
            return false;
        }
        if (dot == name.npos) {
            return true;
        }
        start = dot + 1;
    }
}

}  // namespace ostrivane
