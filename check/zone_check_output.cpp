#include "check/zone_check_output.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <string>

#include "core/address.h"
#include "text/columns.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

std::string answerText(const ProbeAnswer& probe) {
    switch (probe.resolution.status) {
        case ResolveStatus::Resolved:
            if (probe.resolution.address) {
                return formatDottedQuad(*probe.resolution.address);
            }
            break;
        case ResolveStatus::NotFound:
            return "not listed";
        case ResolveStatus::NoAnswer:
            break;
    }
    return probe.timedOut ? "timed out" : "no answer";
}

void printSummary(std::ostream& out, const std::vector<ZoneCheck>& checks) {
    if (checks.empty()) {
        out << "No row has a zone: nothing to check.\n";
        return;
    }
    constexpr std::array kUnhealthy{ZoneHealth::ListsEverything, ZoneHealth::EmptyOrDead,
                                    ZoneHealth::RefusesUs};
    const auto countOf = [&checks](ZoneHealth health) {
        return std::count_if(checks.begin(), checks.end(),
                             [health](const ZoneCheck& check) { return check.health == health; });
    };
    out << countOf(ZoneHealth::Healthy) << " of " << checks.size()
        << (checks.size() == 1 ? " list" : " lists") << " healthy";
    std::string separator = "; ";
    for (const auto health : kUnhealthy) {
        if (const auto count = countOf(health); count > 0) {
            out << separator << zoneHealthText(health) << ": " << count;
            separator = ", ";
        }
    }
    out << '\n';
}

}  // namespace

void printZoneChecks(std::ostream& out, const std::vector<ZoneCheck>& checks) {
    if (!checks.empty()) {
        std::vector<std::vector<std::string>> rows{
            {"Row", "Name", "Zone", "State", "127.0.0.2", "127.0.0.1"}};
        for (const auto& check : checks) {
            // Names and zones come from a list file anyone may have written.
            rows.push_back({std::to_string(check.row + 1), escapeForTerminal(check.name),
                            escapeForTerminal(check.zone),
                            std::string(zoneHealthText(check.health)),
                            answerText(check.for127_0_0_2), answerText(check.for127_0_0_1)});
        }
        // The row number is right-aligned, as numbers are.
        for (const auto& line : alignColumns(rows, {"", {{0, false, Align::Right}}})) {
            out << line << '\n';
        }
        out << '\n';
    }
    printSummary(out, checks);
}

}  // namespace ostrivane
