#include "history/timeline_command.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

#include "core/clock.h"
#include "core/ip_address.h"
#include "core/terminal_text.h"
#include "history/time_text.h"

namespace ostrivane {

namespace {

constexpr int kShown = 0;
constexpr int kUnknownTarget = 2;
constexpr int kUsage = 3;

// The spelling a check run records (dotted quad, RFC 5952), for an address.
std::optional<std::string> canonicalAddress(const std::string& text) {
    if (const auto address = parseIpAddress(text)) {
        return formatIpAddress(*address);
    }
    return std::nullopt;
}

}  // namespace

std::string timelineUsage() {
    return "usage: ostrivane --timeline [--history FILE] [TARGET...]\n"
           "Prints every listing period the history of `ostrivane --check` holds:\n"
           "address, zone, from, to (or \"now\"), duration and the reason at the start.\n"
           "  --history FILE  read this history instead of " +
           defaultHistoryPath().string() +
           "\n"
           "  TARGET          an address, or a host name or block as a check was given it\n"
           "                  (all addresses when none is given)\n";
}

void printTimeline(std::ostream& out, const std::vector<ListingPeriod>& periods, EpochMs now) {
    std::size_t addressWidth = 7;
    std::size_t zoneWidth = 4;
    for (const auto& period : periods) {
        addressWidth = std::max(addressWidth, period.address.size());
        zoneWidth = std::max(zoneWidth, displayWidth(escapeForTerminal(period.zone)));
    }
    const auto row = [&](const std::string& address, const std::string& zone,
                         const std::string& from, const std::string& to,
                         const std::string& duration, const std::string& reason) {
        std::string line;
        const auto column = [&line](const std::string& text, std::size_t width) {
            line += text;
            line.append(width > displayWidth(text) ? width - displayWidth(text) : 0, ' ');
            line += "  ";
        };
        column(address, addressWidth);
        column(zone, zoneWidth);
        column(from, 20);
        column(to, 20);
        column(duration, 8);
        line += reason;
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out << line << '\n';
    };
    row("ADDRESS", "ZONE", "FROM", "TO", "DURATION", "REASON");
    for (const auto& period : periods) {
        row(period.address, escapeForTerminal(period.zone), utcMinuteText(period.from),
            period.to ? utcMinuteText(*period.to) : "now",
            durationText(period.to.value_or(now) - period.from), escapeForTerminal(period.reason));
    }
}

int runTimelineCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::filesystem::path path = defaultHistoryPath();
    std::vector<std::string> targets;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out << timelineUsage();
            return kShown;
        }
        if (arg == "--history") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                err << "ostrivane: --history needs a file\n" << timelineUsage();
                return kUsage;
            }
            path = args[++i];
        } else if (arg.rfind("--history=", 0) == 0 && arg.size() > 10) {
            path = arg.substr(10);
        } else if (arg.empty() || arg[0] == '-') {
            err << "ostrivane: --timeline does not know the option \"" << escapeForTerminal(arg)
                << "\"\n"
                << timelineUsage();
            return kUsage;
        } else {
            targets.push_back(arg);
        }
    }

    auto opened = HistoryStore::openReadOnly(path);
    if (const auto* problem = std::get_if<HistoryProblem>(&opened)) {
        err << "ostrivane: " << problem->message() << '\n';
        return kUsage;
    }
    const HistoryStore& store = std::get<HistoryStore>(opened);

    int status = kShown;
    std::vector<std::string> addresses;
    for (const auto& target : targets) {
        std::vector<std::string> found;
        if (auto address = canonicalAddress(target)) {
            found.push_back(*address);
        } else {
            auto known = store.addressesOfTarget(target);
            if (const auto* problem = std::get_if<HistoryProblem>(&known)) {
                err << "ostrivane: " << problem->message() << '\n';
                return kUsage;
            }
            found = std::move(std::get<std::vector<std::string>>(known));
            if (found.empty()) {
                err << "ostrivane: " << escapeForTerminal(target)
                    << ": no check in this history was given this target\n";
                status = kUnknownTarget;
            }
        }
        for (auto& address : found) {
            if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
                addresses.push_back(std::move(address));
            }
        }
    }
    if (!targets.empty() && addresses.empty()) {
        return status;
    }

    auto periods = store.timeline(addresses);
    if (const auto* problem = std::get_if<HistoryProblem>(&periods)) {
        err << "ostrivane: " << problem->message() << '\n';
        return kUsage;
    }
    const auto& found = std::get<std::vector<ListingPeriod>>(periods);
    if (found.empty()) {
        out << "No listing recorded in " << path.string() << ".\n";
    } else {
        printTimeline(out, found, nowEpochMs());
    }
    return status;
}

}  // namespace ostrivane
