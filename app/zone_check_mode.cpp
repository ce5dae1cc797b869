#include "app/zone_check_mode.h"

#include <algorithm>
#include <vector>

#include "app/exit_status.h"
#include "check/zone_check_output.h"
#include "persist/startup.h"

namespace ostrivane {

namespace {

int zoneCheckExitStatus(const std::vector<ZoneCheck>& checks) {
    if (checks.empty()) {
        return kExitIncomplete;  // a check that checked nothing is no all-clear
    }
    const bool allHealthy = std::all_of(checks.begin(), checks.end(), [](const ZoneCheck& check) {
        return check.health == ZoneHealth::Healthy;
    });
    return allHealthy ? kExitClean : kExitIncomplete;
}

}  // namespace

int runZoneCheckMode(const std::filesystem::path& listFile, Resolver& resolver, std::ostream& out,
                     std::ostream& errors) {
    const MemoryTable table = startUpWarningOfProblems(listFile, errors);
    const auto checks = checkZones(table, resolver);
    printZoneChecks(out, checks);
    return zoneCheckExitStatus(checks);
}

}  // namespace ostrivane
