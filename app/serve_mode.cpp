#include "app/serve_mode.h"

#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <variant>

#include "app/catalog_setup.h"
#include "app/command_line.h"
#include "app/exit_status.h"
#include "app/serve_command_line.h"
#include "check/check_command.h"
#include "history/check_history.h"
#include "persist/startup.h"
#include "results/check_options.h"
#include "serve/serve_loop.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

// What every check and probe uses: the command line over the config file, and
// the catalog that names the lists and decodes their answers. Read whole at
// the start and at each SIGHUP; a check or probe keeps the one it began with.
struct ServeState {
    ServeOptions options;
    CatalogSetup setup;
    CatalogUse use;  // points into setup
};

using SharedState = std::shared_ptr<const ServeState>;

struct StateProblem {
    std::string message;
    bool usage = false;  // a command-line problem: the usage helps
};

std::variant<SharedState, StateProblem> readState(const std::vector<std::string>& args,
                                                  const std::optional<std::filesystem::path>& file,
                                                  std::ostream& err) {
    auto loaded = loadCatalogSetup(file, err);
    if (auto* problem = std::get_if<std::string>(&loaded)) {
        return StateProblem{std::move(*problem)};
    }
    auto& setup = std::get<CatalogSetup>(loaded);
    auto parsed = parseServeOptions(args, setup.config);
    if (auto* error = std::get_if<ServeUsageError>(&parsed)) {
        // The command line alone was read before: this is the config's
        // problem (a bad target names its file and line), or no target at all.
        return StateProblem{std::move(error->message)};
    }
    auto state = std::make_shared<ServeState>();
    state->options = std::get<ServeOptions>(std::move(parsed));
    state->setup = std::move(setup);
    state->use = state->setup.use();
    return SharedState(std::move(state));
}

// The state the next check or probe takes; SIGHUP replaces it.
class CurrentState {
  public:
    explicit CurrentState(SharedState state) : m_state(std::move(state)) {}
    SharedState get() const {
        std::lock_guard lock(m_mutex);
        return m_state;
    }
    void set(SharedState state) {
        std::lock_guard lock(m_mutex);
        m_state = std::move(state);
    }

  private:
    mutable std::mutex m_mutex;
    SharedState m_state;
};

// A notice (a list refuses public resolvers, a list looks dead) is said once
// while the exporter runs, not at every check.
class NoticeLog {
  public:
    void say(const std::vector<std::string>& notices) {
        for (const auto& notice : notices) {
            if (m_said.insert(notice).second) {
                std::cerr << "ostrivane --serve: " << escapeForTerminal(notice) << '\n';
            }
        }
    }

  private:
    std::set<std::string> m_said;  // the check thread's own
};

// One periodic check, recorded in the history exactly as --check records it.
void checkAndPublish(const ServeState& state, Exporter& exporter, NoticeLog& notices) {
    const CheckOptions& options = state.options.check;
    std::ostringstream historyProblems;
    CheckHistory history =
        CheckHistory::open(options.historyFile, !options.noHistory, historyProblems);
    std::istringstream noInput;
    std::ostringstream problems;
    CheckEnvironment environment{noInput, problems, listFilePath(), {}, {}};
    environment.catalog = &state.use;
    auto outcome = runCheck(options, environment);
    std::cerr << problems.str();
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        std::cerr << "ostrivane --serve: the check failed: " << failure->message << '\n';
        exporter.countFailure(Exporter::Failure::Check);
        return;
    }
    auto& run = std::get<CheckRun>(outcome);
    notices.say(run.notices);
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

// Whether a block holds at most `limit` addresses.
bool blockWithin(const AddressBlock& block, std::size_t limit) {
    const int bits = (block.first.family == IpAddress::Family::V4 ? 32 : 128) - block.prefix;
    return bits < 63 && (std::size_t{1} << bits) <= limit;
}

std::variant<CheckRun, ProbeRefusal> probeOnce(const ServeState& state, const std::string& target,
                                               const std::vector<std::string>& zones) {
    if (zones.empty()) {
        return ProbeRefusal{503, "The first check has not finished yet: no list to probe."};
    }
    auto parsed = parseTarget(target);
    if (const auto* error = std::get_if<TargetError>(&parsed)) {
        return ProbeRefusal{400, "target: " + error->reason};
    }
    const std::size_t limit = state.options.probeLimits.addresses;
    const std::string beyond = "a probe asks about at most " + std::to_string(limit) +
                               " addresses (--probe-addresses); check a wider target with "
                               "--target or the config file's targets";
    const auto& what = std::get<Target>(parsed).what;
    if (const auto* block = std::get_if<AddressBlock>(&what);
        block && !blockWithin(*block, limit)) {
        return ProbeRefusal{422, "target: the block is too wide: " + beyond};
    }
    CheckOptions options;
    options.targets = {target};
    options.zones = zones;
    options.servers = state.options.check.servers;
    options.timeout = state.options.check.timeout;
    options.addressLimit = limit;
    std::istringstream noInput;
    std::ostringstream problems;
    CheckEnvironment environment{noInput, problems, listFilePath(), {}, {}};
    environment.catalog = &state.use;
    auto outcome = runCheck(options, environment);
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        if (failure->tooManyAddresses) {
            return ProbeRefusal{422, failure->message + ": " + beyond};
        }
        // The target was read above: what is left is the check's own failure.
        return ProbeRefusal{500, "The check failed: " + failure->message};
    }
    return std::get<CheckRun>(std::move(outcome));
}

int startUpFailure(const StateProblem& problem, std::ostream& err) {
    err << "ostrivane --serve: " << escapeForTerminal(problem.message) << '\n';
    if (problem.usage) {
        err << tryHelpLine(CommandKind::Serve);
    }
    return kExitFailed;
}

}  // namespace

int runServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto commandLine = readServeCommandLine(args);
    if (const auto* error = std::get_if<ServeUsageError>(&commandLine)) {
        return startUpFailure({error->message, true}, err);
    }
    if (std::get<ServeOptions>(commandLine).help) {
        out << serveUsageText();
        return 0;
    }
    const auto configFile = std::get<ServeOptions>(commandLine).check.configFile;
    auto first = readState(args, configFile, err);
    if (const auto* problem = std::get_if<StateProblem>(&first)) {
        return startUpFailure(*problem, err);
    }
    // The listen address and the probes' limits are the first reading's: they
    // need a restart to change.
    const ServeOptions fixed = std::get<SharedState>(first)->options;
    auto current = std::make_shared<CurrentState>(std::get<SharedState>(std::move(first)));
    Exporter exporter(fixed.probeLimits,
                      [current](const std::string& target, const std::vector<std::string>& zones) {
                          return probeOnce(*current->get(), target, zones);
                      });
    auto notices = std::make_shared<NoticeLog>();
    ServeHooks hooks;
    hooks.check = [current, notices](Exporter& into) {
        checkAndPublish(*current->get(), into, *notices);
    };
    hooks.reload = [current, args, configFile](Exporter&) -> std::optional<std::string> {
        auto state = readState(args, configFile, std::cerr);
        if (auto* problem = std::get_if<StateProblem>(&state)) {
            return escapeForTerminal(problem->message);
        }
        current->set(std::get<SharedState>(std::move(state)));
        return std::nullopt;
    };
    hooks.interval = [current] { return current->get()->options.settings.interval; };
    const int status = serveUntilStopped(fixed.settings, exporter, hooks, err);
    return status == 0 ? kExitClean : kExitCannotServe;
}

}  // namespace ostrivane
