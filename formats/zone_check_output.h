#pragma once

// How `ostrivane --check-zones` prints what the zones answered: a table for
// people, or a JSON document.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/zone_probe.h"

namespace ostrivane {

// One row of the list file with a zone, and what its zone answered.
struct ZoneCheckRow {
    int row = 0;  // 0 to 19, as the list file counts
    std::string name;
    std::string zone;
    ZoneProbe probe;
    // For a list that the catalog knows as a domain list: its own test points.
    std::optional<DomainListProbe> domains{};
};

// One aligned line per checked row (row counted from 1, as a person counts the
// window's rows), then a summary line. The state of the zone as a whole and
// the IPv4 answers come first, as they always have; then the state for each
// family and the IPv6 answers; then, when a row is a domain list, its state
// as one and the answers for "test" and "invalid".
void printZoneChecks(std::ostream& out, const std::vector<ZoneCheckRow>& checks);

// {"zones": [{"row", "name", "zone", "state", "127.0.0.2", "127.0.0.1",
//             "ipv4", "ipv6", "::ffff:7f00:2", "::ffff:7f00:1"}...],
//  "summary": {"zones", "healthy", "lists_everything", "empty_or_dead", "refuses_us"}}
// with the states as --check names them ("lists-everything") and the answers
// as the table shows them; a domain list has "domains", "test" and "invalid"
// too. The summary counts the zones' states as a whole.
void printZoneChecksJson(std::ostream& out, const std::vector<ZoneCheckRow>& checks);

}  // namespace ostrivane
