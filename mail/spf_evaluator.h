#pragma once

// Every address a domain's SPF record authorises, found as RFC 7208 evaluates
// the record for a sender that matches nothing: each term in order, include:
// and redirect= followed, at most 10 terms that cause DNS lookups, at most 10
// MX hosts per mx, at most 2 void lookups. Beyond those limits, and on a loop
// or a syntax error, the record is the domain's permerror; what was found
// before it stays (a receiver passes those addresses before it reaches the
// error). Terms that name no addresses (ptr, exists:, macros) are named.

#include <string>
#include <vector>

#include "core/ip_address.h"
#include "mail/mail_dns.h"

namespace ostrivane {

inline constexpr int kSpfLookupLimit = 10;
inline constexpr int kSpfMxHostLimit = 10;
inline constexpr int kSpfVoidLookupLimit = 2;

// The widest blocks that are checked address by address; a wider block is
// named with its size instead. Default /20 (4,096 IPv4 addresses) and /116.
struct SpfLimits {
    int widestIPv4Prefix = 20;
    int widestIPv6Prefix = 116;
};

// A block of addresses and how it was reached: "spf include:_spf.example.net
// ip4:192.0.2.0/24", "spf mx mx1.example.org", "mx mx1.example.org".
struct ReachedBlock {
    IpAddress first;  // host bits cleared
    int prefix = 32;
    std::string via;
};

struct SpfExpansion {
    bool hasRecord = false;  // false: the domain publishes no SPF record
    std::vector<ReachedBlock> blocks;
    std::vector<std::string> notes;       // what was not checked, and why
    std::string permerror;                // why the record is a permerror; empty if it is not
    std::vector<std::string> unanswered;  // lookups that timed out or failed: incomplete
    int lookupTerms = 0;
    int voidLookups = 0;
};

// One walk over the answers so far; questions not answered yet are noted in
// the book. Walk again after each round until the book wants nothing more.
SpfExpansion walkSpf(const std::string& domain, DnsAnswerBook& book, const SpfLimits& limits);

// The size of a block as text: "4,096 addresses", "2^64 addresses".
std::string blockSizeText(IpAddress::Family family, int prefix);

}  // namespace ostrivane
