#pragma once

// What a zone answered at its test points (RFC 5782), for `--check-zones`:
// the answers themselves are shown there, beside the states they make.

#include "core/zone_health.h"
#include "engine/list_answer.h"

namespace ostrivane {

// What a zone answered about the test points of each family, the state it is
// in for each, and its state as a whole: healthy when it works for either
// family (zoneHealthOf, as --check shows its zones), else its IPv4 state.
struct ZoneProbe {
    ListAnswer for127_0_0_2;
    ListAnswer for127_0_0_1;
    ZoneHealth health = ZoneHealth::EmptyOrDead;
    ListAnswer forV6Listed;    // ::FFFF:7F00:2
    ListAnswer forV6Unlisted;  // ::FFFF:7F00:1
    ZoneHealth ipv4 = ZoneHealth::EmptyOrDead;
    ZoneHealth ipv6 = ZoneHealth::EmptyOrDead;
};

// What a domain list answered about its test points, "test" and "invalid",
// and the state it is in (core's classifyZone, as for an address list).
struct DomainListProbe {
    ListAnswer forTest;
    ListAnswer forInvalid;
    ZoneHealth health = ZoneHealth::EmptyOrDead;
};

}  // namespace ostrivane
