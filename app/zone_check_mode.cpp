#include "app/zone_check_mode.h"

#include <algorithm>
#include <vector>

#include "app/exit_status.h"
#include "catalog/catalog_file.h"
#include "check/catalog_lists.h"
#include "check/zone_check_output.h"
#include "core/zone_health.h"
#include "persist/startup.h"
#include "text/terminal_text.h"

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

// Once per list of the catalog that looks dead: what to do about it.
void sayDeadLists(const Catalog& catalog, const std::vector<ZoneCheck>& checks,
                  std::ostream& errors) {
    std::vector<const CatalogList*> said;
    for (const auto& check : checks) {
        const CatalogList* list = catalog.findZone(check.zone);
        if (list == nullptr || std::find(said.begin(), said.end(), list) != said.end()) {
            continue;
        }
        if (const auto notice = deadListNotice(*list, list->zone, check.health)) {
            errors << "ostrivane --check-zones: " << escapeForTerminal(*notice) << '\n';
            said.push_back(list);
        }
    }
}

}  // namespace

int runZoneCheckMode(const std::filesystem::path& listFile, Resolver& resolver, std::ostream& out,
                     std::ostream& errors) {
    const MemoryTable table = startUpWarningOfProblems(listFile, errors);
    const auto catalog = loadInstalledCatalog();
    if (const auto* problem = std::get_if<CatalogProblem>(&catalog)) {
        errors << "ostrivane --check-zones: " << escapeForTerminal(problem->message()) << '\n';
        return kExitFailed;
    }
    const auto checks = checkZones(table, resolver);
    printZoneChecks(out, checks);
    sayDeadLists(std::get<Catalog>(catalog), checks, errors);
    return zoneCheckExitStatus(checks);
}

}  // namespace ostrivane
