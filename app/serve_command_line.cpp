#include "app/serve_command_line.h"

#include <utility>

#include "app/catalog_setup.h"
#include "app/command_line.h"
#include "app/shared_options.h"
#include "check/target.h"
#include "serve/listen_address.h"

namespace ostrivane {

namespace {

OptionRow targetRow(std::vector<std::string>& into) {
    OptionRow row{"--target", "TARGET", "check this target (repeatable)"};
    row.read = [&into](const std::string& value) -> OptionProblem {
        if (value == "-") {
            return "--target -: the exporter reads no targets from standard input";
        }
        const auto parsed = parseTarget(value);
        if (const auto* bad = std::get_if<TargetError>(&parsed)) {
            return "--target '" + bad->text + "': " + bad->reason;
        }
        into.push_back(value);
        return std::nullopt;
    };
    return row;
}

struct Numbers {
    int interval = 900;
    int rate = 5;
    int burst = 10;
    int probeAddresses = static_cast<int>(ProbeLimits{}.addresses);
};

// The options of --serve, in the order of its usage; the address to listen
// on is read by `address`.
OptionTable serveTable(ServeOptions& o, Numbers& n, const ReadValue& address) {
    CheckOptions& c = o.check;
    return {
        {"Options:",
         {targetRow(c.targets),
          wholeNumberRow({"--interval", "SECONDS", "between two checks (default 900, at least 60)"},
                         "seconds", n.interval),
          configRow(c.configFile),
          wholeNumberRow({"--probe-rate", "N", "probes a second (default 5)"}, "probes a second",
                         n.rate),
          wholeNumberRow({"--probe-burst", "N", "probes at once after a quiet spell (default 10)"},
                         "probes", n.burst),
          wholeNumberRow(
              {"--probe-addresses", "N", "addresses one probe may ask about (default 256)"},
              "addresses", n.probeAddresses),
          zoneRow(c.zones),
          listRow(c.listFile),
          serverRow(c.servers),
          timeoutRow(c.timeout),
          historyRow(c.historyFile),
          noHistoryRow(c.noHistory),
          keepDaysRow(c.keepDays),
          helpRow(o.help),
          {"[ADDRESS]:PORT", "", "", address}}}};
}

std::optional<std::string> combinationProblem(const ServeOptions& options, int interval) {
    if (interval < kShortestServeInterval) {
        return "--interval " + std::to_string(interval) + ": at least " +
               std::to_string(kShortestServeInterval) + " seconds";
    }
    if (options.check.historyFile && options.check.noHistory) {
        return "--history and --no-history cannot go together";
    }
    return std::nullopt;
}

// The config's targets, each read as --target reads it.
std::optional<std::string> addConfigTargets(const Config& config, std::vector<std::string>& into) {
    for (const auto& target : config.targets.value_or(std::vector<PlacedText>{})) {
        const auto parsed = parseTarget(target.text);
        std::string reason;
        if (target.text == "-") {
            reason = "the exporter reads no targets from standard input";
        } else if (const auto* bad = std::get_if<TargetError>(&parsed)) {
            reason = bad->reason;
        }
        if (!reason.empty()) {
            return CatalogProblem{target.file, target.line,
                                  "target '" + target.text + "': " + reason}
                .message();
        }
        into.push_back(target.text);
    }
    return std::nullopt;
}

}  // namespace

std::variant<ServeOptions, ServeUsageError> readServeCommandLine(
    const std::vector<std::string>& args) {
    ServeOptions options;
    options.settings.listen.port = kDefaultServePort;
    Numbers numbers;
    bool addressGiven = false;
    const auto address = [&](const std::string& text) -> OptionProblem {
        if (addressGiven) {
            return text + ": one address to listen on; name the targets with --target";
        }
        addressGiven = true;
        const auto parsed = parseListenAddress(text);
        if (!parsed) {
            return text +
                   ": not [ADDRESS]:PORT (an IPv6 address in brackets, a port from 1 to 65535)";
        }
        options.settings.listen = *parsed;
        return std::nullopt;
    };
    if (auto problem =
            readOptions(args, serveTable(options, numbers, address), sharedOptionWords())) {
        return ServeUsageError{std::move(*problem)};
    }
    if (options.help) {
        return options;
    }
    if (auto problem = combinationProblem(options, numbers.interval)) {
        return ServeUsageError{std::move(*problem)};
    }
    options.settings.interval = std::chrono::seconds(numbers.interval);
    options.probeLimits.perSecond = numbers.rate;
    options.probeLimits.burst = numbers.burst;
    options.probeLimits.addresses = static_cast<std::size_t>(numbers.probeAddresses);
    return options;
}

std::variant<ServeOptions, ServeUsageError> parseServeOptions(const std::vector<std::string>& args,
                                                              const Config& config) {
    auto parsed = readServeCommandLine(withConfigArguments(config, ConfigMode::Serve, args));
    auto* options = std::get_if<ServeOptions>(&parsed);
    if (options == nullptr || options->help) {
        return parsed;
    }
    if (options->check.servers.empty()) {
        if (auto problem = addConfigServers(config, options->check.servers)) {
            return ServeUsageError{std::move(*problem)};
        }
    }
    if (options->check.targets.empty()) {
        if (auto problem = addConfigTargets(config, options->check.targets)) {
            return ServeUsageError{std::move(*problem)};
        }
    }
    if (options->check.targets.empty()) {
        return ServeUsageError{
            "no target given: name each with --target, or in the config file's \"targets\""};
    }
    return parsed;
}

namespace {

constexpr const char* kAbout =
    R"(Checks the targets against the lists every --interval seconds and serves
the results to Prometheus:
  /metrics          the latest check (Prometheus text format or OpenMetrics)
  /probe?target=T   one check on demand against the same lists (&zone=Z for
                    one of them); at most 5 a second, bursts of 10 and 4 at
                    once, else 429; a target of more than 256 addresses, 422
  /healthz, /       a health check and a short page

ADDRESS is an IPv4 address or an IPv6 address in brackets; the default is
127.0.0.1:9716. TARGET is what --check takes (not "-").

The targets, lists, keys, servers, time-out, interval and history may come
from the config file (as for --check, plus "targets" and "interval");
an option given here wins, and --target replaces the file's targets.

)";

constexpr const char* kSignalsAndStatuses = R"(
SIGHUP re-reads the config file and checks at once with it; a config with
an error keeps the previous settings running and says why. SIGTERM ends it.
Exit status: 0 stopped by a signal; 2 cannot listen; 3 usage error, or a
config or catalog file that cannot be used (its file, line and problem).
)";

}  // namespace

std::string serveUsageText() {
    ServeOptions defaults;
    Numbers numbers;
    return usageLine(CommandKind::Serve) + kAbout + optionUsage(serveTable(defaults, numbers, {})) +
           kSignalsAndStatuses;
}

}  // namespace ostrivane
