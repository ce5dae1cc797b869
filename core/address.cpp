#include "core/address.h"

#include <algorithm>
#include <cctype>

namespace ostrivane {

std::string formatDottedQuad(const std::array<std::uint8_t, 4>& address) {
    std::string text;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(address[i]);
    }
    return text;
}

namespace {

// The value of the part's leading decimal digits, saturated well above 255.
unsigned leadingNumber(std::string_view part) {
    unsigned value = 0;
    for (char c : part) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            break;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 999) {
            return value;
        }
    }
    return value;
}

}  // namespace

std::string reverseOctets(std::string_view dotted) {
    std::array<std::string_view, 4> parts;
    std::string_view rest = dotted;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos) {
            return {};
        }
        parts[i] = rest.substr(0, dot);
        rest.remove_prefix(dot + 1);
    }
    parts[3] = rest;

    std::string reversed;
    for (std::size_t i = parts.size(); i-- > 0;) {
        if (leadingNumber(parts[i]) > 255) {
            return {};
        }
        reversed += parts[i];
        if (i > 0) {
            reversed += '.';
        }
    }
    return reversed;
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
