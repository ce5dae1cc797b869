#include "app/serve_command_line.h"

#include <utility>

#include "app/check_command_line.h"
#include "check/target.h"
#include "serve/listen_address.h"

namespace ostrivane {

namespace {

// Lists' answers live for minutes: checking more often asks again what the
// resolver still holds, and adds load on the lists for nothing.
constexpr int kShortestInterval = 60;

OptionRow targetRow(std::vector<std::string>& into) {
    return {"--target", true, [&into](const std::string& value) -> OptionProblem {
                if (value == "-") {
                    return "--target -: the exporter reads no targets from standard input";
                }
                const auto parsed = parseTarget(value);
                if (const auto* bad = std::get_if<TargetError>(&parsed)) {
                    return "--target '" + bad->text + "': " + bad->reason;
                }
                into.push_back(value);
                return std::nullopt;
            }};
}

std::vector<OptionRow> serveRows(ServeOptions& o, int& interval, int& rate, int& burst) {
    CheckOptions& c = o.check;
    return {targetRow(c.targets),
            wholeNumberRow("--interval", "seconds", interval),
            wholeNumberRow("--probe-rate", "probes a second", rate),
            wholeNumberRow("--probe-burst", "probes", burst),
            zoneRow(c.zones),
            listRow(c.listFile),
            timeoutRow(c.timeout),
            serverRow(c.servers),
            pathRow("--history", "history file's", c.historyFile),
            flagRow("--no-history", c.noHistory),
            wholeNumberRow("--keep-days", "days", c.keepDays),
            flagRow("--help", o.help)};
}

std::optional<std::string> combinationProblem(const ServeOptions& options, int interval) {
    if (options.check.targets.empty()) {
        return "no target given: name each with --target";
    }
    if (interval < kShortestInterval) {
        return "--interval " + std::to_string(interval) + ": at least " +
               std::to_string(kShortestInterval) + " seconds";
    }
    if (options.check.historyFile && options.check.noHistory) {
        return "--history and --no-history cannot go together";
    }
    return std::nullopt;
}

}  // namespace

std::variant<ServeOptions, ServeUsageError> parseServeOptions(
    const std::vector<std::string>& args) {
    ServeOptions options;
    options.settings.listen.port = kDefaultServePort;
    int interval = 900;
    int rate = 5;
    int burst = 10;
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
    if (auto problem = readOptions(args, serveRows(options, interval, rate, burst), address,
                                   checkOptionWords())) {
        return ServeUsageError{std::move(*problem)};
    }
    if (options.help) {
        return options;
    }
    if (auto problem = combinationProblem(options, interval)) {
        return ServeUsageError{std::move(*problem)};
    }
    options.settings.interval = std::chrono::seconds(interval);
    options.probeLimits.perSecond = rate;
    options.probeLimits.burst = burst;
    return options;
}

std::string serveUsageText() {
    return R"(Usage: ostrivane --serve [[ADDRESS]:PORT] --target TARGET... [OPTIONS]
Checks the targets against the lists every --interval seconds and serves
the results to Prometheus:
  /metrics          the latest check (Prometheus text format or OpenMetrics)
  /probe?target=T   one check on demand against the same lists (&zone=Z for
                    one of them); at most 5 a second, bursts of 10, else 429
  /healthz, /       a health check and a short page

ADDRESS is an IPv4 address or an IPv6 address in brackets; the default is
127.0.0.1:9716. TARGET is what --check takes (not "-").

Options:
  --target TARGET      check this target (repeatable)
  --interval SECONDS   between two checks (default 900, at least 60)
  --probe-rate N       probes a second (default 5)
  --probe-burst N      probes at once after a quiet spell (default 10)
  --zone ZONE, --list FILE, --server ADDR[:PORT], --timeout SECONDS
                       choose the lists and ask them as --check does
  --history FILE, --no-history, --keep-days N
                       the history, kept as --check keeps it
  --help               print this text

SIGHUP re-reads the list file and checks at once; SIGTERM ends it.
Exit status: 0 stopped by a signal; 2 cannot listen; 3 usage error.
)";
}

}  // namespace ostrivane
