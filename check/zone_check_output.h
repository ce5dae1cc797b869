#pragma once

// The table `ostrivane --check-zones` prints.

#include <iosfwd>
#include <vector>

#include "core/zone_health.h"

namespace ostrivane {

// One aligned line per checked row (row counted from 1, as a person counts the
// window's rows), then a summary line.
void printZoneChecks(std::ostream& out, const std::vector<ZoneCheck>& checks);

}  // namespace ostrivane
