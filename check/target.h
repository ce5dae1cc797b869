#pragma once

// What the user asks to check: addresses, address blocks and host names, and
// the addresses they stand for.

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ip_address.h"
#include "mail/mail_domain.h"

namespace ostrivane {

// More addresses than this in one run is a usage error.
inline constexpr std::size_t kMaxCheckAddresses = 65536;

// The widest blocks a run accepts: a /16 of IPv4 and a /120 of IPv6 (both at
// most 65,536 addresses, the most one run checks).
inline constexpr int kWidestIPv4Prefix = 16;
inline constexpr int kWidestIPv6Prefix = 120;

struct AddressBlock {
    IpAddress first;  // the block's first address (host bits cleared)
    int prefix = 32;  // an address alone is a block of one
};

struct HostName {
    std::string name;
};

struct Target {
    std::string text;  // as the user gave it
    std::variant<AddressBlock, HostName, MailTarget> what;
};

struct TargetError {
    std::string text;
    std::string reason;
};

// An IPv4 or IPv6 address, a block ADDRESS/PREFIX, a host name, or a mail
// domain: mx:DOMAIN, spf:DOMAIN, mail:DOMAIN.
std::variant<Target, TargetError> parseTarget(std::string_view text);

// The targets of standard input: one a line, surrounding blanks ignored, blank
// lines and lines beginning with "#" skipped. The first bad line is the error,
// its text naming the line ("standard input line 3: ...").
std::variant<std::vector<Target>, TargetError> readTargets(std::istream& in);

struct CheckAddress {
    std::string target;  // the first target that gave the address
    IpAddress address;
    std::vector<std::string> via;  // how mail targets reached it, each way once
};

// A name a mail target asks the domain lists about.
struct DomainSubject {
    std::string target;            // "mail:example.org"
    std::string name;              // "example.org", "mx1.example.org"
    std::vector<std::string> via;  // "domain", "mx mx1.example.org"
};

struct ExpandedTargets {
    std::vector<CheckAddress> addresses;  // each address once, in the order given
    std::vector<std::string> unresolved;  // host names without an address
};

// Every address of a host name (empty: it did not resolve).
using HostResolver = std::function<std::vector<IpAddress>(const std::string& name)>;

// Every A and AAAA address, through the system resolver (getaddrinfo).
std::vector<IpAddress> resolveHostAddresses(const std::string& name);

// The addresses the targets stand for. An address given twice is checked
// once. More than kMaxCheckAddresses addresses: the error.
std::variant<ExpandedTargets, TargetError> expandTargets(const std::vector<Target>& targets,
                                                         const HostResolver& resolve);

}  // namespace ostrivane
