#include "formats/zone_check_output.h"

#include <algorithm>
#include <array>
#include <ostream>

#include "core/ip_address.h"
#include "text/columns.h"
#include "text/json_text.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

std::string answerText(const ListAnswer& answer) {
    switch (answer.kind) {
        case ListAnswer::Kind::Addresses:
            return formatDottedQuad(answer.addresses.front());
        case ListAnswer::Kind::NotFound:
            return "not listed";
        case ListAnswer::Kind::NoAnswer:
            break;
    }
    return answer.timedOut ? "timed out" : "no answer";
}

constexpr std::array kUnhealthy{ZoneHealth::ListsEverything, ZoneHealth::EmptyOrDead,
                                ZoneHealth::RefusesUs};

long countOf(const std::vector<ZoneCheckRow>& checks, ZoneHealth health) {
    return std::count_if(checks.begin(), checks.end(), [health](const ZoneCheckRow& check) {
        return check.probe.health == health;
    });
}

void printSummary(std::ostream& out, const std::vector<ZoneCheckRow>& checks) {
    if (checks.empty()) {
        out << "No row has a zone: nothing to check.\n";
        return;
    }
    out << countOf(checks, ZoneHealth::Healthy) << " of " << checks.size()
        << (checks.size() == 1 ? " list" : " lists") << " healthy";
    std::string separator = "; ";
    for (const auto health : kUnhealthy) {
        if (const auto count = countOf(checks, health); count > 0) {
            out << separator << zoneHealthText(health) << ": " << count;
            separator = ", ";
        }
    }
    out << '\n';
}

bool anyDomainList(const std::vector<ZoneCheckRow>& checks) {
    return std::any_of(checks.begin(), checks.end(),
                       [](const ZoneCheckRow& check) { return check.domains.has_value(); });
}

// Names and zones come from a list file anyone may have written.
std::vector<std::string> tableRow(const ZoneCheckRow& check, bool withDomains) {
    const ZoneProbe& probe = check.probe;
    std::vector<std::string> row{
        std::to_string(check.row + 1),           escapeForTerminal(check.name),
        escapeForTerminal(check.zone),           std::string(zoneHealthText(probe.health)),
        answerText(probe.for127_0_0_2),          answerText(probe.for127_0_0_1),
        std::string(zoneHealthText(probe.ipv4)), std::string(zoneHealthText(probe.ipv6)),
        answerText(probe.forV6Listed),           answerText(probe.forV6Unlisted)};
    if (withDomains) {
        const auto& list = check.domains;
        row.push_back(list ? std::string(zoneHealthText(list->health)) : std::string());
        row.push_back(list ? answerText(list->forTest) : std::string());
        row.push_back(list ? answerText(list->forInvalid) : std::string());
    }
    return row;
}

}  // namespace

void printZoneChecks(std::ostream& out, const std::vector<ZoneCheckRow>& checks) {
    if (!checks.empty()) {
        const bool withDomains = anyDomainList(checks);
        std::vector<std::vector<std::string>> rows{{"Row", "Name", "Zone", "State", "127.0.0.2",
                                                    "127.0.0.1", "IPv4", "IPv6", "::ffff:7f00:2",
                                                    "::ffff:7f00:1"}};
        if (withDomains) {
            rows.front().insert(rows.front().end(), {"Domains", "test", "invalid"});
        }
        for (const auto& check : checks) {
            rows.push_back(tableRow(check, withDomains));
        }
        // The row number is right-aligned, as numbers are.
        for (const auto& line : alignColumns(rows, {"", {{0, false, Align::Right}}})) {
            out << line << '\n';
        }
        out << '\n';
    }
    printSummary(out, checks);
}

void printZoneChecksJson(std::ostream& out, const std::vector<ZoneCheckRow>& checks) {
    JsonDocument document;
    document["zones"] = JsonDocument::array();
    for (const auto& check : checks) {
        const ZoneProbe& probe = check.probe;
        document["zones"].push_back({{"row", check.row + 1},
                                     {"name", check.name},
                                     {"zone", check.zone},
                                     {"state", zoneHealthKey(probe.health, '-')},
                                     {"127.0.0.2", answerText(probe.for127_0_0_2)},
                                     {"127.0.0.1", answerText(probe.for127_0_0_1)},
                                     {"ipv4", zoneHealthKey(probe.ipv4, '-')},
                                     {"ipv6", zoneHealthKey(probe.ipv6, '-')},
                                     {"::ffff:7f00:2", answerText(probe.forV6Listed)},
                                     {"::ffff:7f00:1", answerText(probe.forV6Unlisted)}});
        if (const auto& list = check.domains) {
            auto& zone = document["zones"].back();
            zone["domains"] = zoneHealthKey(list->health, '-');
            zone["test"] = answerText(list->forTest);
            zone["invalid"] = answerText(list->forInvalid);
        }
    }
    JsonDocument summary{{"zones", checks.size()},
                         {"healthy", countOf(checks, ZoneHealth::Healthy)}};
    for (const auto health : kUnhealthy) {
        summary[zoneHealthKey(health, '_')] = countOf(checks, health);
    }
    document["summary"] = summary;
    out << jsonDocumentText(document);
}

}  // namespace ostrivane
