#include "app/check_mode.h"

#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "app/catalog_setup.h"
#include "app/check_command_line.h"
#include "app/check_status.h"
#include "app/command_line.h"
#include "app/exit_status.h"
#include "check/check_command.h"
#include "formats/check_output.h"
#include "history/check_history.h"
#include "history/status_page.h"
#include "metrics/check_metrics.h"
#include "persist/atomic_write.h"
#include "persist/startup.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

int usageFailure(std::string_view message, bool nagios, std::ostream& out, std::ostream& err) {
    if (nagios) {
        out << "OSTRIVANE UNKNOWN - " << escapeForTerminal(message) << '\n';
    }
    // The message may quote a target or a file name as typed or read: escaped,
    // so that it cannot retitle or recolour the terminal.
    err << "ostrivane --check: " << escapeForTerminal(message) << '\n'
        << tryHelpLine(CommandKind::Check);
    return kExitFailed;
}

// A config or catalog file that cannot be used: its file, line and problem,
// without the hint to the usage, which has nothing to do with it.
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
    auto parsed = parseCheckOptions(withConfigArguments(config, ConfigMode::Check, args));
    auto* options = std::get_if<CheckOptions>(&parsed);
    if (options == nullptr || !options->servers.empty()) {
        return parsed;
    }
    if (auto problem = addConfigServers(config, options->servers)) {
        return CheckUsageError{std::move(*problem)};
    }
    return parsed;
}

// The page shows the run just recorded beside the last 30 days of the history.
// Nothing when it was written, else why not.
std::optional<std::string> writeStatusPage(const std::filesystem::path& page, const CheckRun& run,
                                           CheckHistory& history, std::ostream& err) {
    const std::string html = renderStatusPage(run, history.recentDays(run.startedAt, err));
    auto problem = createFolderOf(page);
    if (!problem) {
        problem = writeFileAtomically(page, html);
    }
    if (!problem) {
        return std::nullopt;
    }
    const std::string message = "Status page not written: " + escapeForTerminal(problem->message());
    err << message << '\n';
    return message;
}

// Each address's results as the run streams them: annotated and recorded
// in the history, then printed at once (text, json; nagios keeps what its
// status line needs). They are kept in the run only where the end needs
// them all: the status page and the metrics of --format openmetrics.
class CheckModeStream : public ResultStream {
  public:
    CheckModeStream(const CheckOptions& options, CheckHistory& history, std::ostream& out,
                    std::ostream& err)
        : m_options(options), m_history(history), m_out(out), m_err(err) {}

    void begin(EpochMs startedAt) override {
        m_history.beginRun(startedAt, m_err);
        m_printer = checkPrinter(m_options, startedAt, m_history.annotates(), m_out);
    }

    bool take(std::vector<CheckResult>& results) override {
        m_history.take(results, m_err);
        m_printer->address(results);
        return m_options.page || m_options.format == CheckFormat::OpenMetrics;
    }

    // What follows the results, once the status is known.
    void finish(const CheckRun& run, int status, const std::vector<std::string>& problems) {
        if (m_options.format == CheckFormat::OpenMetrics) {
            m_out << renderMetrics(checkRunFamilies(run), MetricsFormat::OpenMetrics);
        } else if (m_printer) {
            m_printer->finish(run, status, problems);
        }
        m_out.flush();
    }

  private:
    const CheckOptions& m_options;
    CheckHistory& m_history;
    std::ostream& m_out;
    std::ostream& m_err;
    std::unique_ptr<CheckPrinter> m_printer;
};

// With --output, what was printed goes to its file in one step: a reader such
// as a textfile collector never sees half a file.
bool writeOutputFile(const std::filesystem::path& file, const std::string& text,
                     std::ostream& err) {
    auto problem = createFolderOf(file);
    if (!problem) {
        problem = writeFileAtomically(file, text);
    }
    if (problem) {
        err << "Output not written: " << problem->message() << '\n';
        return false;
    }
    return true;
}

// After the last address: the history's run committed, the notices, the
// page; the status, and the problems for nagios's long output.
int endRun(const CheckRun& run, const CheckOptions& options, CheckHistory& history,
           std::vector<std::string>& problems, std::ostream& err) {
    // Recorded, and the page written, before the end is printed, so that the
    // status line can say UNKNOWN when the page was not written; a reader
    // that went away early (a pipe into head) loses nothing of the history.
    history.endRun(run, options.keepDays, err);
    for (const auto& notice : run.notices) {
        err << "ostrivane --check: " << escapeForTerminal(notice) << '\n';
    }
    const auto pageProblem =
        options.page ? writeStatusPage(*options.page, run, history, err) : std::nullopt;
    const bool changesUnknown = options.changes && history.changesUnknown();
    if (changesUnknown && options.format != CheckFormat::Nagios) {
        // Without a history nobody can say what changed: never "nothing changed".
        err << "ostrivane --check: --changes needs the history of earlier runs\n";
    }
    problems = history.problems();
    if (pageProblem) {
        problems.push_back(*pageProblem);
    }
    return checkExitStatus(run, options, {changesUnknown, !pageProblem});
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

    // Printed as the results come; with --output, gathered for its file.
    std::ostringstream gathered;
    std::ostream& printed = options.output ? static_cast<std::ostream&>(gathered) : out;
    CheckModeStream stream(options, history, printed, err);
    CheckEnvironment environment{in, err, listFilePath(), {}, {}};
    environment.catalog = &catalogUse;
    environment.stream = &stream;
    auto outcome = runCheck(options, environment);
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        return usageFailure(failure->message, options.format == CheckFormat::Nagios, out, err);
    }
    auto& run = std::get<CheckRun>(outcome);
    std::vector<std::string> problems;
    const int status = endRun(run, options, history, problems, err);
    stream.finish(run, status, problems);
    if (options.output && !writeOutputFile(*options.output, gathered.str(), err)) {
        return kExitFailed;
    }
    return status;
}

}  // namespace ostrivane
