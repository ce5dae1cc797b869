#pragma once

// Many DNS questions at once, within one deadline: the addresses of host
// names, a domain's MX hosts, its TXT records. Every question gets a typed
// answer that tells a name that does not exist from one without records of
// the type and from one whose answer never came.

#include <chrono>
#include <string>
#include <variant>
#include <vector>

#include "core/ip_address.h"
#include "engine/ares_channel.h"
#include "engine/dns_reply.h"

namespace ostrivane {

struct NameQuestion {
    std::string name;
    RecordType type = RecordType::A;
};

struct NameAnswer {
    enum class Outcome {
        Records,     // at least one record of the type asked
        NoRecord,    // the name exists, without a record of that type
        NoSuchName,  // NXDOMAIN
        TimedOut,    // no answer within the deadline
        Failed,      // SERVFAIL, REFUSED, a malformed or foreign answer: `problem` says which
    };
    Outcome outcome = Outcome::TimedOut;
    std::vector<IpAddress> addresses;  // A or AAAA, in answer order
    std::vector<MxRecord> mx;
    std::vector<std::string> txt;  // one string per record
    std::string problem;
};

struct LookupSettings {
    std::chrono::milliseconds timeout{2000};  // for the whole batch
    std::vector<std::string> servers;         // "ADDRESS:PORT"; empty: /etc/resolv.conf's
};

// One answer per question, in the questions' order. A and AAAA questions are
// answered from the hosts file (/etc/hosts) when it names the host, as the
// system resolver does, and from DNS otherwise. Returns by the deadline.
std::variant<std::vector<NameAnswer>, ChannelFailure> lookUpNames(
    const std::vector<NameQuestion>& questions, const LookupSettings& settings);

// "no such name", "no record", "no answer", or the problem of a failure.
std::string nameAnswerText(const NameAnswer& answer);

}  // namespace ostrivane
