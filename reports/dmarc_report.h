#pragma once

// A DMARC aggregate report (RFC 7489, appendix C) as a receiver sent it: who
// reported, for which period, the policy it found published, and one record
// per source address with what that address sent as the domain and how its
// authentication fared. Plain values; the reading is in dmarc_reader.h.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ip_address.h"

namespace ostrivane {

// One DKIM signature or SPF check the receiver evaluated for a record.
struct DmarcAuthResult {
    std::string domain;  // lower case
    std::string result;  // lower case: "pass", "fail", "softfail", "none", ...
};

struct DmarcRecord {
    IpAddress sourceIp;
    std::uint64_t count = 0;  // messages from sourceIp in the period
    // policy_evaluated, lower case: "none", "quarantine", "reject"; "pass", "fail".
    std::string disposition;
    std::string dkim;
    std::string spf;
    std::string headerFrom;    // lower case
    std::string envelopeFrom;  // lower case; empty when the receiver left it out
    std::vector<DmarcAuthResult> dkimResults;
    std::vector<DmarcAuthResult> spfResults;
};

// policy_published: what the receiver found in the domain's DMARC record.
struct DmarcPolicy {
    std::string domain;  // lower case; never empty in a report read
    std::string adkim;   // "r" or "s"; empty when not given
    std::string aspf;
    std::string p;  // "none", "quarantine", "reject"
    std::string sp;
    std::optional<int> pct;  // 0..100
};

struct DmarcReport {
    std::string orgName;  // the reporter, as it names itself
    std::string email;
    std::string reportId;    // with orgName, what makes a report a duplicate
    std::int64_t begin = 0;  // Unix seconds
    std::int64_t end = 0;    // Unix seconds
    DmarcPolicy policy;
    std::vector<DmarcRecord> records;  // only the records read whole
};

}  // namespace ostrivane
