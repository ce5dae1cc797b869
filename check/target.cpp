#include "check/target.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <set>

namespace ostrivane {

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

// Letters, digits, hyphens (and underscores, which some real hosts carry), in
// labels of 1 to 63; a trailing dot is allowed. A name of digits and dots only
// would be a mistyped address, so it is not a host name.
bool isHostName(std::string_view name) {
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    if (name.empty() || name.size() > 253) {
        return false;
    }
    if (name.find_first_not_of("0123456789.") == name.npos) {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
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

// "mx", "spf", "mail" in any case: the text is a mail target, good or bad.
bool isMailTargetKind(std::string_view prefix) {
    std::string kind(prefix);
    std::transform(kind.begin(), kind.end(), kind.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return prefix.size() < 5 && (kind == "mx" || kind == "spf" || kind == "mail");
}

void clearHostBits(IpAddress& address, int prefix) {
    const int bits = address.family == IpAddress::Family::V4 ? 32 : 128;
    for (int bit = prefix; bit < bits; ++bit) {
        address.bytes[static_cast<std::size_t>(bit / 8)] &=
            static_cast<std::uint8_t>(~(0x80U >> (bit % 8)));
    }
}

std::variant<Target, TargetError> parseBlock(std::string_view text, std::size_t slash) {
    const auto address = parseIpAddress(text.substr(0, slash));
    if (!address) {
        return TargetError{std::string(text), "not an address block (ADDRESS/PREFIX)"};
    }
    const auto digits = text.substr(slash + 1);
    int prefix = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
    const bool v4 = address->family == IpAddress::Family::V4;
    const int longest = v4 ? 32 : 128;
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() ||
        prefix < 0 || prefix > longest) {
        return TargetError{std::string(text),
                           "the prefix must be a number from 0 to " + std::to_string(longest)};
    }
    const int widest = v4 ? kWidestIPv4Prefix : kWidestIPv6Prefix;
    if (prefix < widest) {
        return TargetError{std::string(text), "the block is too wide: the widest allowed is /" +
                                                  std::to_string(widest) + " for " +
                                                  (v4 ? "IPv4" : "IPv6")};
    }
    AddressBlock block{*address, prefix};
    clearHostBits(block.first, prefix);
    return Target{std::string(text), block};
}

}  // namespace

std::variant<Target, TargetError> parseTarget(std::string_view text) {
    if (text.empty()) {
        return TargetError{"", "an empty target"};
    }
    if (const auto slash = text.find('/'); slash != text.npos) {
        return parseBlock(text, slash);
    }
    if (const auto address = parseIpAddress(text)) {
        const int prefix = address->family == IpAddress::Family::V4 ? 32 : 128;
        return Target{std::string(text), AddressBlock{*address, prefix}};
    }
    if (const auto colon = text.find(':');
        colon != text.npos && isMailTargetKind(text.substr(0, colon))) {
        if (auto mail = parseMailTarget(text)) {
            return Target{std::string(text), *std::move(mail)};
        }
        return TargetError{std::string(text),
                           "not a mail target (mx:DOMAIN, spf:DOMAIN or mail:DOMAIN)"};
    }
    if (isHostName(text)) {
        return Target{std::string(text), HostName{std::string(text)}};
    }
    return TargetError{std::string(text), "not an address, address block or host name"};
}

std::variant<std::vector<Target>, TargetError> readTargets(std::istream& in) {
    std::vector<Target> targets;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == line.npos || line[first] == '#') {
            continue;
        }
        const auto last = line.find_last_not_of(" \t\r");
        auto parsed = parseTarget(std::string_view(line).substr(first, last - first + 1));
        if (auto* error = std::get_if<TargetError>(&parsed)) {
            error->reason = "standard input line " + std::to_string(number) + ": " + error->reason;
            return *error;
        }
        targets.push_back(std::get<Target>(std::move(parsed)));
    }
    return targets;
}

std::vector<IpAddress> resolveHostAddresses(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) {
        return {};
    }
    std::vector<IpAddress> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        IpAddress address;
        if (entry->ai_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            std::memcpy(address.bytes.data(), &in->sin_addr, 4);
            address.family = IpAddress::Family::V4;
        } else if (entry->ai_family == AF_INET6) {
            const auto* in = reinterpret_cast<const sockaddr_in6*>(entry->ai_addr);
            std::memcpy(address.bytes.data(), &in->sin6_addr, 16);
            address.family = IpAddress::Family::V6;
        } else {
            continue;
        }
        addresses.push_back(address);
    }
    freeaddrinfo(found);
    return addresses;
}

namespace {

IpAddress addressInBlock(const AddressBlock& block, std::uint32_t index) {
    IpAddress address = block.first;
    const std::size_t last = address.family == IpAddress::Family::V4 ? 3 : 15;
    // Blocks hold at most 65,536 addresses: the index fits the last two bytes.
    std::uint32_t carry = index;
    for (std::size_t i = last + 1; i-- > 0 && carry != 0;) {
        const std::uint32_t sum = address.bytes[i] + (carry & 0xFFU);
        address.bytes[i] = static_cast<std::uint8_t>(sum);
        carry = (carry >> 8) + (sum >> 8);
    }
    return address;
}

}  // namespace

std::variant<ExpandedTargets, TargetError> expandTargets(const std::vector<Target>& targets,
                                                         const HostResolver& resolve) {
    ExpandedTargets expanded;
    std::set<IpAddress> seen;
    const auto add = [&](const Target& target, const IpAddress& address) {
        if (seen.insert(address).second) {
            expanded.addresses.push_back({target.text, address});
        }
        return seen.size() <= kMaxCheckAddresses;
    };
    const auto tooMany = [](const Target& target) {
        return TargetError{target.text, "more than " + std::to_string(kMaxCheckAddresses) +
                                            " addresses in one run"};
    };
    for (const auto& target : targets) {
        if (const auto* block = std::get_if<AddressBlock>(&target.what)) {
            const int bits = block->first.family == IpAddress::Family::V4 ? 32 : 128;
            const std::uint32_t count = std::uint32_t{1} << (bits - block->prefix);
            for (std::uint32_t i = 0; i < count; ++i) {
                if (!add(target, addressInBlock(*block, i))) {
                    return tooMany(target);
                }
            }
            continue;
        }
        if (!std::holds_alternative<HostName>(target.what)) {
            continue;  // mail targets: see mail_targets.h
        }
        const auto addresses = resolve(std::get<HostName>(target.what).name);
        if (addresses.empty() && std::find(expanded.unresolved.begin(), expanded.unresolved.end(),
                                           target.text) == expanded.unresolved.end()) {
            expanded.unresolved.push_back(target.text);
        }
        for (const auto& address : addresses) {
            if (!add(target, address)) {
                return tooMany(target);
            }
        }
    }
    return expanded;
}

}  // namespace ostrivane
