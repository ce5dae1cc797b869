#include "app/serve_mode.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>
#include <variant>

#include "app/exit_status.h"
#include "check/check_command.h"
#include "check/check_options.h"
#include "history/check_history.h"
#include "persist/startup.h"
#include "serve/listen_address.h"
#include "serve/serve_loop.h"

namespace ostrivane {

namespace {

// Lists' answers live for minutes: checking more often asks again what the
// resolver still holds.
constexpr int kShortestInterval = 60;

// The widest target a probe takes: a /24 of IPv4, a /120 of IPv6.
constexpr int kWidestProbeIPv4Prefix = 24;

struct ServeOptions {
    ServeSettings settings;
    ProbeLimits probeLimits;
    CheckOptions check;  // targets, lists, servers, time-out and history, as --check takes them
    bool help = false;
};

struct ServeUsageError {
    std::string message;
};

// The exporter's own options through CLI11; what is left is read as
// --check reads its options, so both take lists, servers and history alike.
std::variant<ServeOptions, ServeUsageError> parseServeOptions(
    const std::vector<std::string>& args) {
    ServeOptions options;
    std::string listen;
    std::vector<std::string> targets;
    int interval = 900;
    CLI::App app("ostrivane --serve", "ostrivane --serve");
    app.set_help_flag();
    app.allow_extras();
    app.add_flag("--help", options.help);
    app.add_option("--target", targets)->allow_extra_args(false);
    app.add_option("--interval", interval);
    app.add_option("--probe-rate", options.probeLimits.perSecond);
    app.add_option("--probe-burst", options.probeLimits.burst);
    try {
        // The address comes first, when given.
        auto first = args.begin();
        if (first != args.end() && !first->empty() && first->front() != '-') {
            listen = *first++;
        }
        std::vector<std::string> reversed(args.rbegin(), std::make_reverse_iterator(first));
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return ServeUsageError{error.what()};
    }
    if (options.help) {
        return options;
    }
    if (!listen.empty()) {
        const auto address = parseListenAddress(listen);
        if (!address) {
            return ServeUsageError{listen + ": not [ADDRESS]:PORT (an IPv6 address in brackets)"};
        }
        options.settings.listen = *address;
    } else {
        options.settings.listen.port = kDefaultServePort;
    }
    if (interval < kShortestInterval) {
        return ServeUsageError{"--interval " + std::to_string(interval) + ": at least " +
                               std::to_string(kShortestInterval) + " seconds"};
    }
    options.settings.interval = std::chrono::seconds(interval);
    if (!(options.probeLimits.perSecond > 0) || !(options.probeLimits.burst >= 1)) {
        return ServeUsageError{"--probe-rate must be above 0 and --probe-burst at least 1"};
    }
    std::vector<std::string> checkArgs = app.remaining();
    for (const auto& argument : checkArgs) {
        if (argument.rfind("--format", 0) == 0 || argument == "--quiet" ||
            argument == "--changes" || argument.rfind("--warning", 0) == 0 ||
            argument.rfind("--critical", 0) == 0 || argument.rfind("--page", 0) == 0) {
            return ServeUsageError{argument + ": not an option of --serve"};
        }
    }
    if (targets.empty()) {
        return ServeUsageError{"no target given: name each with --target"};
    }
    checkArgs.insert(checkArgs.end(), targets.begin(), targets.end());
    auto check = parseCheckOptions(checkArgs);
    if (const auto* error = std::get_if<CheckUsageError>(&check)) {
        return ServeUsageError{error->message};
    }
    options.check = std::get<CheckOptions>(std::move(check));
    if (std::find(options.check.targets.begin(), options.check.targets.end(), "-") !=
        options.check.targets.end()) {
        return ServeUsageError{"--target -: the exporter reads no targets from standard input"};
    }
    return options;
}

// One periodic check, recorded in the history exactly as --check records it.
void checkAndPublish(const CheckOptions& options, Exporter& exporter) {
    std::ostringstream historyProblems;
    CheckHistory history =
        CheckHistory::open(options.historyFile, !options.noHistory, historyProblems);
    std::istringstream noInput;
    std::ostringstream warnings;
    auto outcome = runCheck(options, {noInput, warnings, listFilePath()});
    std::cerr << warnings.str();
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        std::cerr << "ostrivane --serve: the check failed: " << failure->message << '\n';
        exporter.countFailure(Exporter::Failure::Check);
        return;
    }
    auto& run = std::get<CheckRun>(outcome);
    history.annotate(run, historyProblems);
    history.recordAndPrune(run, options.keepDays, historyProblems);
    if (!historyProblems.str().empty()) {
        std::cerr << historyProblems.str();
        exporter.countFailure(Exporter::Failure::History);
    }
    std::vector<std::string> zones;
    for (const auto& zone : run.zones) {
        zones.push_back(zone.zone);
    }
    exporter.setZones(std::move(zones));
    exporter.publish(run);
}

std::variant<CheckRun, ProbeRefusal> probeOnce(const CheckOptions& serveOptions,
                                               const std::string& target,
                                               const std::vector<std::string>& zones) {
    if (zones.empty()) {
        return ProbeRefusal{503, "The first check has not finished yet: no list to probe."};
    }
    auto parsed = parseTarget(target);
    if (const auto* error = std::get_if<TargetError>(&parsed)) {
        return ProbeRefusal{400, "target: " + error->reason};
    }
    const auto& what = std::get<Target>(parsed).what;
    if (const auto* block = std::get_if<AddressBlock>(&what)) {
        const bool v4 = block->first.family == IpAddress::Family::V4;
        if (block->prefix < (v4 ? kWidestProbeIPv4Prefix : kWidestIPv6Prefix)) {
            return ProbeRefusal{400, "target: a probe takes at most a /24 (IPv4) or /120 (IPv6)"};
        }
    }
    CheckOptions options;
    options.targets = {target};
    options.zones = zones;
    options.servers = serveOptions.servers;
    options.timeout = serveOptions.timeout;
    std::istringstream noInput;
    std::ostringstream warnings;
    auto outcome = runCheck(options, {noInput, warnings, listFilePath()});
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        // The target was read above: what is left is the check's own failure.
        return ProbeRefusal{500, "The check failed: " + failure->message};
    }
    return std::get<CheckRun>(std::move(outcome));
}

}  // namespace

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
  --zone, --list, --server, --timeout   choose the lists as --check does
  --history FILE, --no-history, --keep-days N   the history, as --check keeps it
  --help               print this text

SIGHUP re-reads the list file and checks at once; SIGTERM ends it.
Exit status: 0 stopped by a signal; 2 cannot listen; 3 usage error.
)";
}

int runServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseServeOptions(args);
    if (const auto* error = std::get_if<ServeUsageError>(&parsed)) {
        err << "ostrivane --serve: " << error->message << "\n\n" << serveUsageText();
        return kExitFailed;
    }
    const auto& options = std::get<ServeOptions>(parsed);
    if (options.help) {
        out << serveUsageText();
        return 0;
    }
    const CheckOptions check = options.check;
    Exporter exporter(options.probeLimits,
                      [check](const std::string& target, const std::vector<std::string>& zones) {
                          return probeOnce(check, target, zones);
                      });
    ServeHooks hooks;
    hooks.check = [check](Exporter& into) { checkAndPublish(check, into); };
    // The zones and list file are read again at every check: a reload is a
    // check now.
    hooks.reload = [](Exporter&) { return std::optional<std::string>(); };
    const int status = serveUntilStopped(options.settings, exporter, hooks, err);
    return status == 0 ? kExitClean : kExitCannotServe;
}

}  // namespace ostrivane
