#include "app/zone_check_mode.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <variant>

#include "app/command_line.h"
#include "app/exit_status.h"
#include "app/shared_options.h"
#include "catalog/catalog_file.h"
#include "check/catalog_lists.h"
#include "check/domain_lists.h"
#include "core/memory_table.h"
#include "engine/list_engine.h"
#include "formats/zone_check_output.h"
#include "persist/list_file.h"
#include "persist/startup.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

struct ZoneCheckOptions {
    std::optional<std::filesystem::path> listFile;
    std::chrono::milliseconds timeout{5000};
    std::vector<std::string> servers;
    bool json = false;
    bool help = false;
};

OptionTable zoneCheckTable(ZoneCheckOptions& o) {
    const ReadValue noTargets = [](const std::string& text) -> OptionProblem {
        return text + ": --check-zones takes no targets, it checks the zones of the list file";
    };
    return {{"Options:",
             {pathRow({"--list", "FILE", "take the zones of this list file"}, "list file's",
                      o.listFile),
              serverRow(o.servers),
              timeoutRow(o.timeout),
              textOrJsonRow(o.json),
              helpRow(o.help),
              {"TARGET", "", "", noTargets}}}};
}

// The rows with a zone, in the list file's order: the list file named with
// --list must be readable; the default one falls back as start-up does.
std::variant<std::vector<ZoneCheckRow>, std::string> rowsToCheck(
    const ZoneCheckOptions& options, const std::filesystem::path& defaultListFile,
    std::ostream& err) {
    MemoryTable table;
    if (!options.listFile) {
        table = startUpWarningOfProblems(defaultListFile, err);
    } else if (const auto problem = loadListFile(table, *options.listFile)) {
        return "--list: " + problem->message();
    }
    std::vector<ZoneCheckRow> checks;
    for (int row = 0; row < kRowCount; ++row) {
        if (auto zone = table.zone(row); !zone.empty()) {
            checks.push_back({row, table.name(row), std::move(zone), {}});
        }
    }
    return checks;
}

int zoneCheckExitStatus(const std::vector<ZoneCheckRow>& checks) {
    const bool allHealthy = std::all_of(
        checks.begin(), checks.end(),
        [](const ZoneCheckRow& check) { return check.probe.health == ZoneHealth::Healthy; });
    // A check that checked nothing is no all-clear.
    return allHealthy && !checks.empty() ? kExitClean : kExitIncomplete;
}

int usageFailure(const std::string& message, std::ostream& err) {
    err << "ostrivane --check-zones: " << message << '\n' << tryHelpLine(CommandKind::CheckZones);
    return kExitFailed;
}

// Once per list of the catalog that looks dead: what to do about it.
void sayDeadLists(const Catalog& catalog, const std::vector<ZoneCheckRow>& checks,
                  std::ostream& err) {
    std::vector<const CatalogList*> said;
    for (const auto& check : checks) {
        const CatalogList* list = catalog.findZone(check.zone);
        if (list == nullptr || std::find(said.begin(), said.end(), list) != said.end()) {
            continue;
        }
        if (const auto notice = deadListNotice(*list, list->zone, check.probe.health)) {
            err << "ostrivane --check-zones: " << escapeForTerminal(*notice) << '\n';
            said.push_back(list);
        }
    }
}

// Rows whose list the catalog knows as a domain list are asked that list's
// own test points, "test" and "invalid", too; a list of domains only is
// judged by them alone, one that lists addresses as well by either.
std::optional<std::string> askDomainRows(const Catalog& catalog, const ZoneCheckOptions& options,
                                         std::vector<ZoneCheckRow>& checks) {
    std::vector<AskedZone> zones;
    std::vector<ZoneCheckRow*> rows;
    for (auto& check : checks) {
        const CatalogList* list = catalog.findZone(check.zone);
        if (list != nullptr && list->lists(ListKind::Domains)) {
            zones.push_back({check.zone, check.name});
            rows.push_back(&check);
        }
    }
    auto probes = probeDomainLists(zones, {options.timeout, options.servers});
    if (const auto* failure = std::get_if<EngineFailure>(&probes)) {
        return failure->reason;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ZoneCheckRow& check = *rows[i];
        check.domains = std::get<std::vector<DomainListProbe>>(probes)[i];
        const CatalogList* list = catalog.findZone(check.zone);
        check.probe.health = list->lists(ListKind::IPv4) || list->lists(ListKind::IPv6)
                                 ? zoneHealthOf(check.probe.health, check.domains->health)
                                 : check.domains->health;
    }
    return std::nullopt;
}

}  // namespace

int runZoneCheckMode(const std::vector<std::string>& args,
                     const std::filesystem::path& defaultListFile, std::ostream& out,
                     std::ostream& err) {
    ZoneCheckOptions options;
    if (const auto problem = readOptions(args, zoneCheckTable(options), sharedOptionWords())) {
        return usageFailure(*problem, err);
    }
    if (options.help) {
        out << zoneCheckUsageText();
        return kExitClean;
    }
    const auto catalog = loadInstalledCatalog();
    if (const auto* problem = std::get_if<CatalogProblem>(&catalog)) {
        err << "ostrivane --check-zones: " << escapeForTerminal(problem->message()) << '\n';
        return kExitFailed;
    }
    auto rows = rowsToCheck(options, defaultListFile, err);
    if (const auto* problem = std::get_if<std::string>(&rows)) {
        return usageFailure(*problem, err);
    }
    auto& checks = std::get<std::vector<ZoneCheckRow>>(rows);
    if (!checks.empty()) {
        std::vector<AskedZone> zones;
        for (const auto& check : checks) {
            zones.push_back({check.zone, check.name});
        }
        auto probes = probeZones(zones, {options.timeout, options.servers});
        if (const auto* failure = std::get_if<EngineFailure>(&probes)) {
            err << "ostrivane --check-zones: " << failure->reason << '\n';
            return kExitFailed;
        }
        for (std::size_t i = 0; i < checks.size(); ++i) {
            checks[i].probe = std::get<std::vector<ZoneProbe>>(probes)[i];
        }
        if (const auto failure = askDomainRows(std::get<Catalog>(catalog), options, checks)) {
            err << "ostrivane --check-zones: " << *failure << '\n';
            return kExitFailed;
        }
    }
    if (options.json) {
        printZoneChecksJson(out, checks);
    } else {
        printZoneChecks(out, checks);
    }
    sayDeadLists(std::get<Catalog>(catalog), checks, err);
    return zoneCheckExitStatus(checks);
}

namespace {

constexpr const char* kAbout =
    R"(Asks every zone of the list file whether it lists 127.0.0.2 and not
127.0.0.1, as every working IPv4 blacklist does, and ::FFFF:7F00:2 and not
::FFFF:7F00:1, as every working IPv6 blacklist does, all at once, and prints
each list's state for each family and as a whole (healthy when it works for
either family): healthy, lists everything, empty or dead, or refuses us (an
answer outside 127.0.0.0/8, or an error code from 127.255.255.0/24). A
zone that the catalog knows as a domain list is asked whether it lists "test"
and not "invalid" too, and a list of domains only is judged by that alone.

)";

constexpr const char* kStatuses = R"(
Exit status: 0 every list is healthy (for either family); 3 usage error, or
the output could not be written; 4 a list is not healthy, or no row has a zone.
)";

}  // namespace

std::string zoneCheckUsageText() {
    ZoneCheckOptions defaults;
    return usageLine(CommandKind::CheckZones) + kAbout + optionUsage(zoneCheckTable(defaults)) +
           kStatuses;
}

}  // namespace ostrivane
