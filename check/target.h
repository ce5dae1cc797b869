#pragma once

// What the user asks to check: addresses, address blocks and host names, and
// the addresses they stand for.

#include <chrono>
#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ip_address.h"
#include "engine/asked.h"
#include "mail/mail_domain.h"

namespace ostrivane {

// More addresses than this in one run is a usage error.
// The results stream (check/check_command.h), so a run's memory does not grow
// with its results; what grows is the list of addresses itself.
inline constexpr std::size_t kMaxCheckAddresses = 1048576;

// The widest blocks a run accepts: a /12 of IPv4 and a /108 of IPv6 (both
// 1,048,576 addresses, the most one run checks).
inline constexpr int kWidestIPv4Prefix = 12;
inline constexpr int kWidestIPv6Prefix = 108;

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

// A name a mail target asks the domain lists about.
struct DomainSubject {
    std::string target;            // "mail:example.org"
    std::string name;              // "example.org", "mx1.example.org"
    std::vector<std::string> via;  // "domain", "mx mx1.example.org"
};

struct ExpandedTargets {
    std::vector<CheckAddress> addresses;  // each address once, in the order given
    std::vector<std::string> unresolved;  // host names without an address
    std::vector<std::string> unanswered;  // host names whose lookup (or half of it) got no answer
};

// What the resolver learnt of one host name.
struct HostAddresses {
    std::vector<IpAddress> addresses;  // A, then AAAA
    bool answered = true;  // false: a lookup timed out or failed, so "none" proves nothing
};

// The addresses of every name, all asked at once; one entry per name, in order.
using HostResolver =
    std::function<std::vector<HostAddresses>(const std::vector<std::string>& names)>;

// Every A and AAAA address of each name, asked through c-ares (the hosts file
// first, as the system resolver does), all within `timeout`.
HostResolver dnsHostResolver(std::chrono::milliseconds timeout, std::vector<std::string> servers);

// The addresses the targets stand for. An address given twice is checked
// once. More than kMaxCheckAddresses addresses: the error.
std::variant<ExpandedTargets, TargetError> expandTargets(const std::vector<Target>& targets,
                                                         const HostResolver& resolve);

}  // namespace ostrivane
