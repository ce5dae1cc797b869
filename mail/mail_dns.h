#pragma once

// The few DNS questions a mail domain's addresses are found with, asked in
// rounds: every question that can be asked at a time goes out at once, and the
// answers come back together. The program answers a round through the check's
// c-ares engine within its time-out; the tests answer from a table.

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/ip_address.h"

namespace ostrivane {

enum class DnsType : std::uint8_t { A, AAAA, MX, TXT };

struct DnsQuestion {
    std::string name;  // lower case, no trailing dot
    DnsType type = DnsType::A;

    friend auto operator<=>(const DnsQuestion&, const DnsQuestion&) = default;
};

enum class DnsOutcome : std::uint8_t {
    Answered,  // records of the type asked
    NoName,    // NXDOMAIN
    NoData,    // the name exists, without a record of the type
    TimedOut,  // no answer within the time-out
    Failed     // SERVFAIL, REFUSED or an answer that cannot be read
};

struct MxHost {
    int preference = 0;
    std::string host;  // lower case, no trailing dot; "" is RFC 7505's null MX
};

struct DnsAnswer {
    DnsOutcome outcome = DnsOutcome::TimedOut;
    std::vector<IpAddress> addresses;  // A or AAAA
    std::vector<MxHost> mx;
    std::vector<std::string> texts;  // one per TXT record, its strings joined
};

// Answers every question of a round, in the order asked (one answer each).
using DnsRound = std::function<std::vector<DnsAnswer>(const std::vector<DnsQuestion>&)>;

// The answers of the rounds so far. A walk over a domain's records reads the
// answers it needs; those not asked yet are noted, to be asked all together in
// the next round, and the walk goes on with what it has. Walking again after
// each round until nothing is missing finds everything in as many rounds as
// the deepest chain of lookups needs.
class DnsAnswerBook {
  public:
    // The answer, or nothing: then the question is wanted for the next round.
    const DnsAnswer* find(const DnsQuestion& question);

    // Asks the wanted questions in one round; false when nothing was wanted.
    bool askWanted(const DnsRound& round);

    bool wantsMore() const { return !m_wanted.empty(); }

  private:
    std::map<DnsQuestion, DnsAnswer> m_answers;
    std::set<DnsQuestion> m_wanted;
};

// "A", "AAAA", "MX", "TXT".
const char* dnsTypeText(DnsType type);

// A name as it is asked: lower case, without the trailing dot.
std::string normalDomainName(std::string_view name);

}  // namespace ostrivane
