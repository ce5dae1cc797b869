#include "app/check_mode.h"

#include <ostream>
#include <variant>

#include "app/catalog_setup.h"
#include "app/check_command_line.h"
#include "app/check_status.h"
#include "app/exit_status.h"
#include "check/check_command.h"
#include "check/check_output.h"
#include "history/check_history.h"
#include "history/status_page.h"
#include "persist/atomic_write.h"
#include "persist/startup.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

int usageFailure(std::string_view message, bool nagios, std::ostream& out, std::ostream& err) {
    if (nagios) {
        out << "OSTRIVANE UNKNOWN - " << escapeForTerminal(message) << '\n';
    }
    err << "ostrivane --check: " << message << "\n\n" << checkUsageText();
    return kExitFailed;
}

// A config or catalog file that cannot be used: its file, line and problem,
// without the usage text, which has nothing to do with it.
int setupFailure(std::string_view message, bool nagios, std::ostream& out, std::ostream& err) {
    if (nagios) {
        out << "OSTRIVANE UNKNOWN - " << escapeForTerminal(message) << '\n';
    }
    err << "ostrivane --check: " << escapeForTerminal(message) << '\n';
    return kExitFailed;
}

// The command line again with the config's settings before it, so that an
// option given on the command line wins; the config's servers when the
// command line names none.
std::variant<CheckOptions, CheckUsageError> optionsWithConfig(const std::vector<std::string>& args,
                                                              const Config& config) {
    auto merged = configArguments(config);
    merged.insert(merged.end(), args.begin(), args.end());
    auto parsed = parseCheckOptions(merged);
    auto* options = std::get_if<CheckOptions>(&parsed);
    if (options == nullptr || !options->servers.empty()) {
        return parsed;
    }
    for (const auto& server : config.servers) {
        const auto normalized = normalizeServer(server);
        if (!normalized) {
            return CheckUsageError{"servers in the config file: \"" + server +
                                   "\" is not ADDRESS[:PORT]"};
        }
        options->servers.push_back(*normalized);
    }
    return parsed;
}

// The page shows the run just recorded beside the last 30 days of the history.
bool writeStatusPage(const std::filesystem::path& page, const CheckRun& run,
                     const CheckHistory& history, std::ostream& err) {
    const std::string html = renderStatusPage(run, history.recentDays(run.startedAt, err));
    if (auto problem = createFolderOf(page)) {
        err << "Status page not written: " << problem->message() << '\n';
        return false;
    }
    if (auto problem = writeFileAtomically(page, html)) {
        err << "Status page not written: " << problem->message() << '\n';
        return false;
    }
    return true;
}

}  // namespace

int runCheckCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
    const auto parsed = parseCheckOptions(args);
    if (const auto* error = std::get_if<CheckUsageError>(&parsed)) {
        return usageFailure(error->message, error->nagios, out, err);
    }
    if (std::get<CheckOptions>(parsed).help) {
        out << checkUsageText();
        return kExitClean;
    }
    const bool nagios = std::get<CheckOptions>(parsed).format == CheckFormat::Nagios;
    auto loaded = loadCatalogSetup(std::get<CheckOptions>(parsed).configFile, err);
    if (const auto* problem = std::get_if<std::string>(&loaded)) {
        return setupFailure(*problem, nagios, out, err);
    }
    const auto& setup = std::get<CatalogSetup>(loaded);
    const auto withConfig = optionsWithConfig(args, setup.config);
    if (const auto* error = std::get_if<CheckUsageError>(&withConfig)) {
        return usageFailure(error->message, nagios, out, err);
    }
    const auto& options = std::get<CheckOptions>(withConfig);
    const CatalogUse catalogUse = setup.use();

    // Opened before the lists are asked, so that a history that cannot be
    // used is said first; the check runs all the same.
    CheckHistory history = CheckHistory::open(options.historyFile, !options.noHistory, err);

    CheckEnvironment environment{in, err, listFilePath(), {}};
    environment.catalog = &catalogUse;
    auto outcome = runCheck(options, environment);
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        return usageFailure(failure->message, options.format == CheckFormat::Nagios, out, err);
    }
    auto& run = std::get<CheckRun>(outcome);
    history.annotate(run, err);
    // The nagios line names the state before the page is written.
    printCheckRun(run, options, checkExitStatus(run, options), out);
    out.flush();
    history.recordAndPrune(run, options.keepDays, err);
    for (const auto& notice : run.notices) {
        err << "ostrivane --check: " << escapeForTerminal(notice) << '\n';
    }

    const bool pageWritten = !options.page || writeStatusPage(*options.page, run, history, err);
    const bool changesUnknown = options.changes && history.changesUnknown();
    if (changesUnknown && options.format != CheckFormat::Nagios) {
        // Without a history nobody can say what changed: never "nothing changed".
        err << "ostrivane --check: --changes needs the history of earlier runs\n";
    }
    return checkExitStatus(run, options, {changesUnknown, pageWritten});
}

}  // namespace ostrivane
