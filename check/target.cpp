#include "check/target.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <set>

#include "core/address.h"
#include "engine/name_lookup.h"

namespace ostrivane {

namespace {

// A host name, with or without its trailing dot (core's isHostName).
bool isHostNameWithDot(std::string_view name) {
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    return isHostName(name);
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
    if (isHostNameWithDot(text)) {
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

HostResolver dnsHostResolver(std::chrono::milliseconds timeout, std::vector<std::string> servers) {
    return [timeout, servers = std::move(servers)](const std::vector<std::string>& names) {
        std::vector<NameQuestion> questions;
        for (const auto& name : names) {
            questions.push_back({name, RecordType::A});
            questions.push_back({name, RecordType::Aaaa});
        }
        std::vector<HostAddresses> hosts(names.size());
        auto looked = lookUpNames(questions, {timeout, servers});
        const auto* answers = std::get_if<std::vector<NameAnswer>>(&looked);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (answers == nullptr) {
                hosts[i].answered = false;
                continue;
            }
            for (std::size_t type = 0; type < 2; ++type) {
                const auto& answer = (*answers)[2 * i + type];
                const auto outcome = answer.outcome;
                if (outcome == NameAnswer::Outcome::TimedOut ||
                    outcome == NameAnswer::Outcome::Failed) {
                    hosts[i].answered = false;
                }
                hosts[i].addresses.insert(hosts[i].addresses.end(), answer.addresses.begin(),
                                          answer.addresses.end());
            }
        }
        return hosts;
    };
}

namespace {

IpAddress addressInBlock(const AddressBlock& block, std::uint32_t index) {
    IpAddress address = block.first;
    const std::size_t last = address.family == IpAddress::Family::V4 ? 3 : 15;
    // The index is added byte by byte from the last, with its carry: a /12
    // reaches into the third byte from the end.
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
    // The addresses seen, to give each once. A block holds no address twice:
    // while the first target is a block, nothing is kept here (a /12 alone
    // would cost some 50 MB of tree), and the tree is filled only when
    // another target follows.
    std::set<IpAddress> seen;
    bool firstBlock = false;
    const auto add = [&](const Target& target, const IpAddress& address) {
        if (firstBlock && &target == &targets.front()) {
            expanded.addresses.push_back({target.text, address, {}});
            return expanded.addresses.size() <= kMaxCheckAddresses;
        }
        if (firstBlock) {
            firstBlock = false;
            for (const auto& known : expanded.addresses) {
                seen.insert(known.address);
            }
        }
        if (seen.insert(address).second) {
            expanded.addresses.push_back({target.text, address, {}});
        }
        return seen.size() <= kMaxCheckAddresses;
    };
    const auto tooMany = [](const Target& target) {
        return TargetError{target.text, "more than " + std::to_string(kMaxCheckAddresses) +
                                            " addresses in one run"};
    };
    std::vector<std::string> names;
    for (const auto& target : targets) {
        if (const auto* host = std::get_if<HostName>(&target.what)) {
            if (std::find(names.begin(), names.end(), host->name) == names.end()) {
                names.push_back(host->name);
            }
        }
    }
    const auto hosts = names.empty() ? std::vector<HostAddresses>() : resolve(names);
    firstBlock = !targets.empty() && std::holds_alternative<AddressBlock>(targets.front().what);
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
        const auto at = std::find(names.begin(), names.end(), std::get<HostName>(target.what).name);
        const auto index = static_cast<std::size_t>(at - names.begin());
        const HostAddresses none{{}, false};
        const auto& host = index < hosts.size() ? hosts[index] : none;
        // A name with an address of one family whose other lookup got no
        // answer is checked as far as it goes, and still counts as unanswered.
        if (!host.answered || host.addresses.empty()) {
            auto& missing = host.answered ? expanded.unresolved : expanded.unanswered;
            if (std::find(missing.begin(), missing.end(), target.text) == missing.end()) {
                missing.push_back(target.text);
            }
        }
        for (const auto& address : host.addresses) {
            if (!add(target, address)) {
                return tooMany(target);
            }
        }
    }
    return expanded;
}

}  // namespace ostrivane
