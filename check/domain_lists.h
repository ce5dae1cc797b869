#pragma once

// Domain lists (RHSBL): names asked as themselves in front of each zone, with
// the domain lists' own test points, through the same batch lookup and
// time-out as the rest of the run. The verdicts follow the address lists'
// rules.

#include <string>
#include <variant>
#include <vector>

#include "check/target.h"
#include "engine/list_engine.h"
#include "engine/name_lookup.h"
#include "results/check_result.h"

namespace ostrivane {

struct DomainListRun {
    std::vector<CheckedZone> zones;    // in the order given, with their health
    std::vector<CheckResult> results;  // subject by subject, zones in order
};

// Asks every zone about "test" and "invalid" only, all at once within
// `settings.timeout`; in the zones' order.
std::variant<std::vector<DomainListProbe>, EngineFailure> probeDomainLists(
    const std::vector<AskedZone>& zones, const LookupSettings& settings);

// Asks every zone about "test" and "invalid" and about every subject at once,
// then the TXT record of each listing, each batch within `settings.timeout`.
std::variant<DomainListRun, EngineFailure> askDomainLists(
    const std::vector<DomainSubject>& subjects, const std::vector<AskedZone>& zones,
    const LookupSettings& settings);

}  // namespace ostrivane
