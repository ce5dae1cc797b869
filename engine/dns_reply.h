#pragma once

// Reads the records a DNS reply holds for the name that was asked, following
// its CNAME chain within the reply. c-ares's own parsers skip records of other
// names in silence, which turns a foreign or looping answer into "no record";
// for a blacklist that would read as "not listed", so the reply is read here.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrivane {

enum class RecordType : std::uint16_t { A = 1, Mx = 15, Txt = 16, Aaaa = 28 };

struct MxRecord {
    std::uint16_t preference = 0;
    std::string host;
};

struct DnsRecords {
    enum class Outcome {
        Records,     // at least one record of the type for the name asked
        NoRecord,    // NOERROR and nothing of the type for the name (or its CNAME target)
        NoSuchName,  // NXDOMAIN
        Unusable,    // a malformed reply, a CNAME loop, or records for another name only
    };
    Outcome outcome = Outcome::Unusable;
    std::vector<std::array<std::uint8_t, 4>> v4;   // A, in answer order
    std::vector<std::array<std::uint8_t, 16>> v6;  // AAAA, in answer order
    std::vector<MxRecord> mx;
    std::vector<std::string> txt;  // one string per TXT record, its parts joined
    std::string problem;           // for Unusable: what was wrong
};

// At most this many CNAMEs are followed; a longer chain counts as a loop.
inline constexpr int kMaxCnameChain = 8;

// `reply` is the whole message; `name` the name asked (case and a final dot do
// not matter). The message's response code decides NXDOMAIN; SERVFAIL,
// REFUSED and the other failures are Unusable.
DnsRecords readDnsReply(const std::uint8_t* reply, std::size_t length, std::string_view name,
                        RecordType type);

}  // namespace ostrivane
