#include "check/check_command.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "check/domain_lists.h"
#include "check/mail_targets.h"
#include "core/clock.h"
#include "core/memory_table.h"
#include "engine/list_engine.h"
#include "engine/mail_lookup.h"
#include "persist/list_file.h"
#include "persist/startup.h"

namespace ostrivane {

namespace {

// The list file the window and the unattended check read, read the same way;
// a file named with --list must be there and readable.
std::variant<std::vector<AskedZone>, CheckFailure> listFileZones(
    const CheckOptions& options, const CheckEnvironment& environment) {
    std::vector<AskedZone> zones;
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
        table = startUpWarningOfProblems(path, environment.problems);
    } else if (const auto problem = loadListFile(table, path)) {
        return CheckFailure{"--list: " + problem->message()};
    }
    for (int row = 0; row < kRowCount; ++row) {
        auto zone = table.zone(row);
        zone.erase(0, zone.find_first_not_of(" \t"));
        zone.erase(zone.find_last_not_of(" \t.") + 1);
        if (!zone.empty()) {
            addZones(zones, {{zone, table.name(row)}});
        }
    }
    if (zones.empty()) {
        return CheckFailure{"no zone to check: the list file " + path.string() +
                            " names none (give one with --zone)"};
    }
    return zones;
}

// The run's lists: --zone, else --list, else the config file's lists, else the
// catalog's default set, else the window's list file; each split into address
// lists and domain lists, and --domain-zone's added to the domain lists.
std::variant<ChosenZones, CheckFailure> zonesOf(const CheckOptions& options,
                                                const CheckEnvironment& environment) {
    const CatalogUse noCatalog;
    const CatalogUse& use = environment.catalog != nullptr ? *environment.catalog : noCatalog;
    ChosenZones choice;
    if (!options.zones.empty()) {
        choice = zonesChosen(options.zones, use);
    } else if (!options.listFile && use.configLists) {
        choice = zonesChosen(*use.configLists, use);
    } else if (!options.listFile && use.catalog != nullptr) {
        choice = defaultZones(use);
        if (choice.addresses.empty() && choice.domains.empty()) {
            return CheckFailure{
                "no zone to check: the catalog's default set is empty "
                "(give one with --zone or --list)"};
        }
    } else {
        auto zones = listFileZones(options, environment);
        if (auto* failure = std::get_if<CheckFailure>(&zones)) {
            return *failure;
        }
        choice = zonesSplit(std::get<std::vector<AskedZone>>(zones), use);
    }
    // A zone given as a domain list is one, whatever the catalog says of it.
    addZones(choice.domains, zonesNamed(options.domainZones, use));
    return choice;
}

// The domain lists' verdicts on the mail targets' names, after the address
// lists' in the same run.
std::optional<CheckFailure> askDomainListsOf(const CheckOptions& options,
                                             const std::vector<AskedZone>& zones,
                                             const MailSubjects& subjects, CheckRun& run) {
    if (subjects.names.empty()) {
        return std::nullopt;
    }
    if (zones.empty()) {
        run.findings.push_back({subjects.names.front().target, FindingKind::Note,
                                "no domain list among the lists chosen (a catalog list of kind "
                                "domains, or --domain-zone): the domain and its MX host names "
                                "were not checked on one"});
        return std::nullopt;
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

// The targets as given, standard input read once where "-" stands.
std::variant<std::vector<Target>, CheckFailure> targetsOf(const CheckOptions& options,
                                                          std::istream& input) {
    std::vector<Target> targets;
    bool inputRead = false;
    for (const auto& text : options.targets) {
        if (text == "-") {
            if (inputRead) {
                continue;
            }
            inputRead = true;
            auto fromInput = readTargets(input);
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
    return targets;
}

// Gives one address's results to the stream; keeps them in the run or counts them.
void giveToStream(ResultStream& stream, std::vector<CheckResult>& results, CheckRun& run) {
    if (stream.take(results)) {
        std::move(results.begin(), results.end(), std::back_inserter(run.results));
    } else {
        run.streamedTally.add(results);
    }
}

// Where each address's results go once decoded, with their via: to the
// stream, or kept in `run` when there is none.
struct ResultRoute {
    CatalogDecoder& decoder;
    ResultStream* stream;
};

void take(const ResultRoute& route, std::vector<CheckResult>& results, CheckRun& run) {
    route.decoder.decode(results);
    if (route.stream != nullptr) {
        giveToStream(*route.stream, results, run);
    } else {
        std::move(results.begin(), results.end(), std::back_inserter(run.results));
    }
}

// The address lists' verdicts on every address, address by address as they
// come. Addresses without an address list are a failure: nothing would be
// said of them.
std::optional<CheckFailure> askAddressLists(const CheckOptions& options,
                                            const std::vector<CheckAddress>& addresses,
                                            const std::vector<AskedZone>& zones,
                                            const ResultRoute& route, CheckRun& run) {
    if (zones.empty() && addresses.empty()) {
        return std::nullopt;
    }
    if (zones.empty()) {
        return CheckFailure{
            "no list for addresses: the lists chosen are domain lists, asked only "
            "about the names of mail targets (add an address list with --zone)"};
    }
    std::size_t next = 0;  // the results come in the addresses' order
    auto answered = askListsStreaming(addresses, zones, {options.timeout, options.servers},
                                      [&](std::vector<CheckResult>&& results) {
                                          const auto& via = addresses[next++].via;
                                          for (auto& result : results) {
                                              result.via = via;
                                          }
                                          take(route, results, run);
                                      });
    if (const auto* failure = std::get_if<EngineFailure>(&answered)) {
        return CheckFailure{failure->reason};
    }
    run.zones = std::get<std::vector<CheckedZone>>(std::move(answered));
    return std::nullopt;
}

// The domain lists' results, after the addresses', decoded and streamed.
void takeDomainResults(const ResultRoute& route, std::size_t from, CheckRun& run) {
    std::vector<CheckResult> domains(std::make_move_iterator(run.results.begin() + from),
                                     std::make_move_iterator(run.results.end()));
    run.results.resize(from);
    forEachAddress(domains, [&](std::size_t first, std::size_t end) {
        std::vector<CheckResult> results(std::make_move_iterator(domains.begin() + first),
                                         std::make_move_iterator(domains.begin() + end));
        take(route, results, run);
    });
}

// Every zone of the choice as asked, for the catalog's decoder.
std::vector<std::string> zoneNames(const ChosenZones& choice) {
    std::vector<std::string> names;
    for (const auto* zones : {&choice.addresses, &choice.domains}) {
        for (const auto& zone : *zones) {
            names.push_back(zone.zone);
        }
    }
    return names;
}

// What the targets stand for: their addresses, host names resolved, and the
// mail targets' subjects.
struct Subjects {
    ExpandedTargets found;
    MailSubjects subjects;
};

std::variant<Subjects, CheckFailure> subjectsOfTargets(const std::vector<Target>& given,
                                                       const CheckOptions& options,
                                                       const CheckEnvironment& environment) {
    const auto resolve = environment.resolveHost
                             ? environment.resolveHost
                             : dnsHostResolver(options.timeout, options.servers);
    auto expanded = expandTargets(given, resolve);
    if (const auto* error = std::get_if<TargetError>(&expanded)) {
        return CheckFailure{"target '" + error->text + "': " + error->reason};
    }
    auto& found = std::get<ExpandedTargets>(expanded);
    const auto mailDns = environment.mailDns ? environment.mailDns
                                             : mailDnsRound({options.timeout, options.servers});
    auto mail = addMailSubjects(given, mailDns, {options.spfWidestIPv4, options.spfWidestIPv6},
                                found.addresses);
    if (const auto* error = std::get_if<TargetError>(&mail)) {
        return CheckFailure{"target '" + error->text + "': " + error->reason};
    }
    auto& subjects = std::get<MailSubjects>(mail);
    if (options.addressLimit && found.addresses.size() > *options.addressLimit) {
        return CheckFailure{"the target covers " + std::to_string(found.addresses.size()) +
                                " addresses, more than the " +
                                std::to_string(*options.addressLimit) + " allowed",
                            true};
    }

    return Subjects{std::move(found), std::move(subjects)};
}

}  // namespace

std::variant<CheckRun, CheckFailure> runCheck(const CheckOptions& options,
                                              const CheckEnvironment& environment) {
    auto targets = targetsOf(options, environment.input);
    if (auto* failure = std::get_if<CheckFailure>(&targets)) {
        return *failure;
    }
    auto zones = zonesOf(options, environment);
    if (auto* failure = std::get_if<CheckFailure>(&zones)) {
        return *failure;
    }
    const auto& choice = std::get<ChosenZones>(zones);
    const auto& given = std::get<std::vector<Target>>(targets);

    const auto started = std::chrono::steady_clock::now();
    const EpochMs startedAt = nowEpochMs();
    auto subjectsOf = subjectsOfTargets(given, options, environment);
    if (auto* failure = std::get_if<CheckFailure>(&subjectsOf)) {
        return *failure;
    }
    const auto& [found, subjects] = std::get<Subjects>(subjectsOf);

    const CatalogUse noCatalog;
    CatalogDecoder decoder(zoneNames(choice),
                           environment.catalog != nullptr ? *environment.catalog : noCatalog);
    const ResultRoute route{decoder, environment.stream};
    if (route.stream != nullptr) {
        route.stream->begin(startedAt);
    }
    CheckRun run;
    if (auto failure = askAddressLists(options, found.addresses, choice.addresses, route, run)) {
        return *failure;
    }
    run.unresolvedTargets = found.unresolved;
    run.unansweredTargets = found.unanswered;
    run.findings = subjects.findings;
    const std::size_t addressResults = run.results.size();
    if (auto failure = askDomainListsOf(options, choice.domains, subjects, run)) {
        return *failure;
    }
    takeDomainResults(route, addressResults, run);
    decoder.finish(run);
    run.startedAt = startedAt;
    run.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - started)
                         .count();
    return run;
}

}  // namespace ostrivane
