#pragma once

// What a list said to one question, and the verdict it makes: the rules of
// the check, apart from the DNS library that carries the questions.

#include <array>
#include <cstdint>
#include <vector>

#include "core/resolver.h"
#include "core/zone_health.h"
#include "engine/dns_reply.h"
#include "results/check_result.h"

namespace ostrivane {

struct ListAnswer {
    enum class Kind {
        Addresses,  // one or more A records
        NotFound,   // NXDOMAIN, or the name has no A record (NODATA)
        NoAnswer,   // time-out, SERVFAIL, REFUSED, or the question was never asked
    };
    Kind kind = Kind::NoAnswer;
    std::vector<std::array<std::uint8_t, 4>> addresses;  // in answer order
    bool timedOut = false;                               // NoAnswer because no answer came in time
};

// As core's zone classification reads an answer: the first address decides.
Resolution resolutionOf(const ListAnswer& answer);

// An answer in 127.0.0.0/8 outside 127.255.255.0/24: the list lists the name.
// Anything else (an error code, an address outside 127.0.0.0/8) is a list
// error, never a listing.
bool isListingAnswer(const ListAnswer& answer);

// What a reply said of the name asked: its A records (after its CNAMEs),
// not found (NXDOMAIN, or no A record for the name), or no answer (a
// failure, a CNAME loop, records of another name only).
ListAnswer listAnswerOf(const DnsRecords& records);

// The verdict of one address on one zone, from the zone's health for the
// address's family and for the other one. A zone that lists everything, or
// is empty or dead for both families, makes every verdict broken-zone; one
// that refuses us makes them list-error, whatever the single answer said. A
// zone that works for the other family only does not cover the address.
CheckVerdict verdictOf(const ListAnswer& answer, ZoneHealth health,
                       ZoneHealth otherFamily = ZoneHealth::EmptyOrDead);

}  // namespace ostrivane
