// Runs the lookup engine against the machine's real resolver, without a
// window, and prints what it left behind in lines that a test script can
// compare. Meant to run inside netns_run.sh, where the resolver is the test
// DNS server.
//
//   lookup_driver HOST [ZONE...]    rows 0, 1, ... get the zones in order, each
//                                   named after its zone ("" is an empty row)
//   lookup_driver --defaults HOST   the default rows
//   lookup_driver --resolve NAME    the first address of one name
//
// Output, one record a line, fields separated by tabs:
//   host     TEXT                   the host field after the run
//   outcome  NothingToLookUp|HostUnresolved|Completed|Abandoned
//   summary  QUERIED LISTED LIST-ERRORS UNANSWERED
//   row      INDEX NAME ZONE RESULT BACKGROUND TEXT-COLOUR   (all 20 rows)
//   resolve  NAME Resolved|NotFound|NoAnswer ADDRESS|-
// Colours are white, black, cyan or darkred, else "R,G,B". The run's message
// (an unresolvable host) goes to standard error.

#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/lookup.h"

namespace {

using namespace ostrivane;

constexpr int kUsage = 2;

std::string colourName(Rgb colour) {
    if (colour == kWhite) {
        return "white";
    }
    if (colour == kBlack) {
        return "black";
    }
    if (colour == kCyan) {
        return "cyan";
    }
    if (colour == kDarkRed) {
        return "darkred";
    }
    return std::to_string(colour.red) + "," + std::to_string(colour.green) + "," +
           std::to_string(colour.blue);
}

std::string_view outcomeName(LookupOutcome outcome) {
    switch (outcome) {
        case LookupOutcome::NothingToLookUp:
            return "NothingToLookUp";
        case LookupOutcome::HostUnresolved:
            return "HostUnresolved";
        case LookupOutcome::Completed:
            return "Completed";
        case LookupOutcome::Abandoned:
            break;
    }
    return "Abandoned";
}

std::string_view statusName(ResolveStatus status) {
    switch (status) {
        case ResolveStatus::Resolved:
            return "Resolved";
        case ResolveStatus::NotFound:
            return "NotFound";
        case ResolveStatus::NoAnswer:
            break;
    }
    return "NoAnswer";
}

// Remembers why the last name did not resolve, so that the driver can go
// through resolveHost itself and still say why it came back empty.
class RecordingResolver final : public Resolver {
  public:
    Resolution resolve(std::string_view name) override {
        m_last = m_system.resolve(name);
        return m_last;
    }
    ResolveStatus lastStatus() const { return m_last.status; }

  private:
    SystemResolver m_system;
    Resolution m_last;
};

int printResolution(std::string_view name) {
    RecordingResolver resolver;
    const IPv4Bytes address = resolveHost(resolver, name);
    std::cout << "resolve\t" << name << '\t' << statusName(resolver.lastStatus()) << '\t'
              << (address ? formatDottedQuad(*address) : "-") << '\n';
    return 0;
}

int runLookup(std::string host, BlacklistTable& table) {
    SystemResolver resolver;
    StandaloneLookupView view(std::move(host), std::cerr);
    const LookupSummary summary = runLookup(table, view, resolver);

    std::cout << "host\t" << view.hostText() << '\n'
              << "outcome\t" << outcomeName(summary.outcome) << '\n'
              << "summary\t" << summary.queried << '\t' << summary.listed << '\t'
              << summary.listErrors << '\t' << summary.unanswered << '\n';
    for (int row = 0; row < kRowCount; ++row) {
        const BlacklistRow cells = rowOf(table, row);
        std::cout << "row\t" << row << '\t' << cells.name << '\t' << cells.zone << '\t'
                  << cells.result << '\t' << colourName(cells.background) << '\t'
                  << colourName(cells.textColour) << '\n';
    }
    return 0;
}

int usage() {
    std::cerr << "usage: lookup_driver HOST [ZONE...]   (at most " << kRowCount << " zones)\n"
              << "       lookup_driver --defaults HOST\n"
              << "       lookup_driver --resolve NAME\n";
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    const std::span<char*> args(argv + 1, static_cast<std::size_t>(argc - 1));
    if (args.empty()) {
        return usage();
    }
    startNetwork();

    const std::string_view first = args[0];
    MemoryTable table;
    if (first == "--resolve" || first == "--defaults") {
        if (args.size() != 2) {
            return usage();
        }
        if (first == "--resolve") {
            return printResolution(args[1]);
        }
        loadDefaultBlacklists(table);
        return runLookup(args[1], table);
    }

    const auto zones = args.subspan(1);
    if (zones.size() > static_cast<std::size_t>(kRowCount)) {
        return usage();
    }
    for (std::size_t row = 0; row < zones.size(); ++row) {
        table.setName(static_cast<int>(row), zones[row]);
        table.setZone(static_cast<int>(row), zones[row]);
    }
    return runLookup(std::string(first), table);
}
