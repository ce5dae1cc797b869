#pragma once

// An SPF record (RFC 7208) read into its terms, in the order written. Reading
// checks the syntax only; spf_evaluator.h follows the terms.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ip_address.h"

namespace ostrivane {

enum class SpfKind : std::uint8_t { All, Include, A, Mx, Ptr, Ip4, Ip6, Exists, Redirect };

struct SpfTerm {
    std::string text;  // as written
    SpfKind kind = SpfKind::All;
    char qualifier = '+';  // '+' pass, '-' fail, '~' softfail, '?' neutral
    std::string domain;    // the term's domain; empty for a, mx and ptr without one
    bool macro = false;    // the domain holds a macro (%{i} ...)
    IpAddress address;     // ip4 and ip6
    int prefix4 = 32;      // ip4, and a and mx: /len
    int prefix6 = 128;     // ip6, and a and mx: //len

    bool causesLookup() const;
};

struct SpfRecord {
    std::vector<SpfTerm> mechanisms;  // in order; those after "all" are never evaluated
    std::vector<SpfTerm> redirect;    // the redirect= modifier, if any (at most one)
};

struct SpfSyntaxError {
    std::string reason;  // names the term
};

// "v=spf1" alone or followed by a space, in any case.
bool isSpfRecord(std::string_view text);

// The terms of a record that isSpfRecord accepts. An unknown mechanism, a bad
// address or prefix, a missing domain or a second redirect is the error;
// unknown modifiers and exp= are passed over, as the RFC wants.
std::variant<SpfRecord, SpfSyntaxError> parseSpfRecord(std::string_view text);

}  // namespace ostrivane
