#include "app/timeline_mode.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

#include "app/command_line.h"
#include "app/exit_status.h"
#include "app/shared_options.h"
#include "core/clock.h"
#include "core/ip_address.h"
#include "history/time_text.h"
#include "text/columns.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

// The spelling a check run records (dotted quad, RFC 5952), for an address.
std::optional<std::string> canonicalAddress(const std::string& text) {
    if (const auto address = parseIpAddress(text)) {
        return formatIpAddress(*address);
    }
    return std::nullopt;
}

}  // namespace

void printTimeline(std::ostream& out, const std::vector<ListingPeriod>& periods, EpochMs now) {
    std::vector<std::vector<std::string>> rows{
        {"ADDRESS", "ZONE", "FROM", "TO", "DURATION", "REASON"}};
    for (const auto& period : periods) {
        rows.push_back({period.address, escapeForTerminal(period.zone), utcMinuteText(period.from),
                        period.to ? utcMinuteText(*period.to) : "now",
                        durationText(period.to.value_or(now) - period.from),
                        escapeForTerminal(period.reason)});
    }
    // The times and durations keep their columns whatever a row holds.
    const Column fixed20{20, true, Align::Left};
    const ColumnLayout layout{"", {{}, {}, fixed20, fixed20, {8, true, Align::Left}}};
    for (const auto& line : alignColumns(rows, layout)) {
        out << line << '\n';
    }
}

namespace {

struct TimelineOptions {
    std::filesystem::path history = defaultHistoryPath();
    std::vector<std::string> targets;
    bool help = false;
};

OptionWords timelineWords() {
    OptionWords words;
    words.unknown = [](const std::string& argument) {
        return "--timeline does not know the option \"" + escapeForTerminal(argument) + "\"";
    };
    words.needsValue = [](const std::string&) { return std::string("--history needs a file"); };
    words.takesNoValue = words.unknown;
    words.doubleDashEndsOptions = false;
    return words;
}

// --help ends the reading where it stands: the options before it decide.
OptionTable timelineTable(TimelineOptions& o, const OptionWords& words) {
    OptionRow help = flagRow({"-h, --help"}, o.help);
    help.endsReading = true;
    const ReadValue history = [&o, words](const std::string& value) -> OptionProblem {
        if (value.empty()) {
            return words.needsValue("--history");
        }
        o.history = value;
        return std::nullopt;
    };
    const ReadValue target = [&o, words](const std::string& text) -> OptionProblem {
        if (text.empty() || text.front() == '-') {
            return words.unknown(text);
        }
        o.targets.push_back(text);
        return std::nullopt;
    };
    return {{"",
             {help,
              {"--history", "FILE", "read this history instead of " + o.history.string(), history},
              {"TARGET", "",
               "an address, or a host name or block as a check was given it\n"
               "(all addresses when none is given)",
               target}}}};
}

// The addresses the targets stand for, each once; a target the history does
// not know is named on `err` and sets `status`. Nothing when the store fails.
std::optional<std::vector<std::string>> addressesOf(const HistoryStore& store,
                                                    const std::vector<std::string>& targets,
                                                    std::ostream& err, int& status) {
    std::vector<std::string> addresses;
    for (const auto& target : targets) {
        std::vector<std::string> found;
        if (auto address = canonicalAddress(target)) {
            auto known = store.knowsAddress(*address);
            if (const auto* problem = std::get_if<HistoryProblem>(&known)) {
                err << "ostrivane: " << escapeForTerminal(problem->message()) << '\n';
                return std::nullopt;
            }
            if (!std::get<bool>(known)) {
                err << "ostrivane: " << escapeForTerminal(target)
                    << ": no check in this history checked this address\n";
                status = kExitUnresolved;
                continue;
            }
            found.push_back(*address);
        } else {
            auto known = store.addressesOfTarget(target);
            if (const auto* problem = std::get_if<HistoryProblem>(&known)) {
                err << "ostrivane: " << escapeForTerminal(problem->message()) << '\n';
                return std::nullopt;
            }
            found = std::move(std::get<std::vector<std::string>>(known));
            if (found.empty()) {
                err << "ostrivane: " << escapeForTerminal(target)
                    << ": no check in this history was given this target\n";
                status = kExitUnresolved;
            }
        }
        for (auto& address : found) {
            if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
                addresses.push_back(std::move(address));
            }
        }
    }
    return addresses;
}

}  // namespace

std::string timelineUsage() {
    TimelineOptions defaults;
    return usageLine(CommandKind::Timeline) +
           "Prints every listing period the history of `ostrivane --check` holds:\n"
           "address, zone, from, to (or \"now\"), duration and the reason at the start.\n" +
           optionUsage(timelineTable(defaults, timelineWords()));
}

int runTimelineCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TimelineOptions options;
    const auto words = timelineWords();
    if (const auto problem = readOptions(args, timelineTable(options, words), words)) {
        err << "ostrivane: " << *problem << '\n' << tryHelpLine(CommandKind::Timeline);
        return kExitFailed;
    }
    if (options.help) {
        out << timelineUsage();
        return kExitClean;
    }
    const auto& path = options.history;
    const auto& targets = options.targets;

    auto opened = HistoryStore::openReadOnly(path);
    if (const auto* problem = std::get_if<HistoryProblem>(&opened)) {
        err << "ostrivane: " << escapeForTerminal(problem->message()) << '\n';
        return kExitFailed;
    }
    const HistoryStore& store = std::get<HistoryStore>(opened);

    int status = kExitClean;
    const auto addresses = addressesOf(store, targets, err, status);
    if (!addresses) {
        return kExitFailed;
    }
    if (!targets.empty() && addresses->empty()) {
        return status;
    }

    auto periods = store.timeline(*addresses);
    if (const auto* problem = std::get_if<HistoryProblem>(&periods)) {
        err << "ostrivane: " << escapeForTerminal(problem->message()) << '\n';
        return kExitFailed;
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
