#include "app/serve_mode.h"

#include <iostream>
#include <sstream>
#include <variant>

#include "app/exit_status.h"
#include "app/serve_command_line.h"
#include "check/check_command.h"
#include "check/check_options.h"
#include "history/check_history.h"
#include "persist/startup.h"
#include "serve/serve_loop.h"

namespace ostrivane {

namespace {

// The widest target a probe takes: a /24 of IPv4, a /120 of IPv6.
constexpr int kWidestProbeIPv4Prefix = 24;

// One periodic check, recorded in the history exactly as --check records it.
void checkAndPublish(const CheckOptions& options, Exporter& exporter) {
    std::ostringstream historyProblems;
    CheckHistory history =
        CheckHistory::open(options.historyFile, !options.noHistory, historyProblems);
    std::istringstream noInput;
    std::ostringstream warnings;
    auto outcome = runCheck(options, {noInput, warnings, listFilePath(), {}});
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
    auto outcome = runCheck(options, {noInput, warnings, listFilePath(), {}});
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        // The target was read above: what is left is the check's own failure.
        return ProbeRefusal{500, "The check failed: " + failure->message};
    }
    return std::get<CheckRun>(std::move(outcome));
}

}  // namespace

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
