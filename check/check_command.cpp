#include "check/check_command.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "check/domain_lists.h"
#include "check/list_engine.h"
#include "check/mail_lookup.h"
#include "check/mail_targets.h"
#include "core/clock.h"
#include "core/memory_table.h"
#include "persist/list_file.h"
#include "persist/startup.h"

namespace ostrivane {

namespace {

std::variant<std::vector<CheckZone>, CheckFailure> zonesOf(const CheckOptions& options,
                                                           const CheckEnvironment& environment) {
    std::vector<CheckZone> zones;
    const CatalogUse noCatalog;
    const CatalogUse& use = environment.catalog != nullptr ? *environment.catalog : noCatalog;
    if (!options.zones.empty()) {
        return zonesNamed(options.zones, use);
    }
    if (!options.listFile && use.configLists) {
        return zonesNamed(*use.configLists, use);
    }
    if (!options.listFile && use.catalog != nullptr) {
        zones = defaultZones(use);
        if (zones.empty()) {
            return CheckFailure{
                "no zone to check: the catalog's default set is empty "
                "(give one with --zone or --list)"};
        }
        return zones;
    }
    // The list file the window and the unattended check read, read the same
    // way; a file named with --list must be there and readable.
    MemoryTable table;
    const auto path = options.listFile.value_or(environment.defaultListFile);
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (options.listFile && !error && std::filesystem::exists(status) &&
        !std::filesystem::is_regular_file(status)) {
        // A FIFO with no writer would hold the run for ever; a device is no list.
        return CheckFailure{"--list: " + FileProblem{path, "it is not a regular file"}.message()};
    }
    if (!options.listFile) {
        table = startUpWarningOfProblems(path, environment.warnings);
    } else if (const auto problem = loadListFile(table, path)) {
        return CheckFailure{"--list: " + problem->message()};
    }
    for (int row = 0; row < kRowCount; ++row) {
        auto zone = table.zone(row);
        zone.erase(0, zone.find_first_not_of(" \t"));
        zone.erase(zone.find_last_not_of(" \t.") + 1);
        const bool known = std::any_of(zones.begin(), zones.end(),
                                       [&zone](const CheckZone& z) { return z.zone == zone; });
        if (!zone.empty() && !known) {
            zones.push_back({zone, table.name(row)});
        }
    }
    if (zones.empty()) {
        return CheckFailure{"no zone to check: the list file " + path.string() +
                            " names none (give one with --zone)"};
    }
    return zones;
}

// The domain lists' verdicts on the mail targets' names, after the address
// lists' in the same run.
std::optional<CheckFailure> askDomainListsOf(const CheckOptions& options,
                                             const MailSubjects& subjects, CheckRun& run) {
    if (subjects.names.empty()) {
        return std::nullopt;
    }
    if (options.domainZones.empty()) {
        run.findings.push_back({subjects.names.front().target, FindingKind::Note,
                                "no domain list to ask (--domain-zone): the domain and its MX "
                                "host names were not checked on one"});
        return std::nullopt;
    }
    std::vector<CheckZone> zones;
    for (const auto& zone : options.domainZones) {
        zones.push_back({zone, {}});
    }
    auto asked = askDomainLists(subjects.names, zones, {options.timeout, options.servers});
    if (const auto* failure = std::get_if<EngineFailure>(&asked)) {
        return CheckFailure{failure->reason};
    }
    auto& found = std::get<DomainListRun>(asked);
    for (auto& zone : found.zones) {
        zone.domainList = true;
        run.zones.push_back(std::move(zone));
    }
    std::move(found.results.begin(), found.results.end(), std::back_inserter(run.results));
    return std::nullopt;
}

}  // namespace

std::variant<CheckRun, CheckFailure> runCheck(const CheckOptions& options,
                                              const CheckEnvironment& environment) {
    std::vector<Target> targets;
    bool inputRead = false;
    for (const auto& text : options.targets) {
        if (text == "-") {
            if (inputRead) {
                continue;
            }
            inputRead = true;
            auto fromInput = readTargets(environment.input);
            if (const auto* error = std::get_if<TargetError>(&fromInput)) {
                return CheckFailure{error->reason + ": '" + error->text + "'"};
            }
            auto& read = std::get<std::vector<Target>>(fromInput);
            std::move(read.begin(), read.end(), std::back_inserter(targets));
            continue;
        }
        auto parsed = parseTarget(text);
        if (const auto* error = std::get_if<TargetError>(&parsed)) {
            return CheckFailure{"target '" + error->text + "': " + error->reason};
        }
        targets.push_back(std::get<Target>(std::move(parsed)));
    }
    if (targets.empty()) {
        return CheckFailure{"no target given: standard input held none"};
    }

    auto zones = zonesOf(options, environment);
    if (auto* failure = std::get_if<CheckFailure>(&zones)) {
        return *failure;
    }

    const auto started = std::chrono::steady_clock::now();
    const EpochMs startedAt = nowEpochMs();
    const auto resolve = environment.resolveHost
                             ? environment.resolveHost
                             : dnsHostResolver(options.timeout, options.servers);
    auto expanded = expandTargets(targets, resolve);
    if (const auto* error = std::get_if<TargetError>(&expanded)) {
        return CheckFailure{"target '" + error->text + "': " + error->reason};
    }
    auto& found = std::get<ExpandedTargets>(expanded);
    const auto mailDns = environment.mailDns ? environment.mailDns
                                             : mailDnsRound({options.timeout, options.servers});
    auto mail = addMailSubjects(targets, mailDns, {options.spfWidestIPv4, options.spfWidestIPv6},
                                found.addresses);
    if (const auto* error = std::get_if<TargetError>(&mail)) {
        return CheckFailure{"target '" + error->text + "': " + error->reason};
    }
    const auto& subjects = std::get<MailSubjects>(mail);
    if (options.addressLimit && found.addresses.size() > *options.addressLimit) {
        return CheckFailure{"the target covers " + std::to_string(found.addresses.size()) +
                                " addresses, more than the " +
                                std::to_string(*options.addressLimit) + " allowed",
                            true};
    }

    auto asked = askLists(found.addresses, std::get<std::vector<CheckZone>>(zones),
                          {options.timeout, options.servers});
    if (const auto* failure = std::get_if<EngineFailure>(&asked)) {
        return CheckFailure{failure->reason};
    }
    auto run = std::get<CheckRun>(std::move(asked));
    if (environment.catalog != nullptr) {
        applyCatalog(run, *environment.catalog);
    }
    run.startedAt = startedAt;
    run.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - started)
                         .count();
    run.unresolvedTargets = found.unresolved;
    run.unansweredTargets = found.unanswered;
    attachVia(found.addresses, run.results);
    run.findings = subjects.findings;
    if (auto failure = askDomainListsOf(options, subjects, run)) {
        return *failure;
    }
    return run;
}

}  // namespace ostrivane
