#include "app/check_mode.h"

#include <ostream>
#include <sstream>
#include <variant>

#include "app/check_command_line.h"
#include "app/check_status.h"
#include "app/exit_status.h"
#include "check/check_command.h"
#include "check/check_output.h"
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
    err << "ostrivane --check: " << message << "\n\n" << checkUsageText();
    return kExitFailed;
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

// The run in the options' format, to standard output or, with --output, to
// its file in one step: a reader such as a textfile collector never sees
// half a file.
bool writeOutput(const CheckRun& run, const CheckOptions& options, std::ostream& out,
                 std::ostream& err) {
    std::ostringstream text;
    if (options.format == CheckFormat::OpenMetrics) {
        text << renderMetrics(checkRunFamilies(run), MetricsFormat::OpenMetrics);
    } else {
        // The nagios line names the state before the page is written.
        printCheckRun(run, options, checkExitStatus(run, options), text);
    }
    if (!options.output) {
        out << text.str();
        out.flush();
        return true;
    }
    auto problem = createFolderOf(*options.output);
    if (!problem) {
        problem = writeFileAtomically(*options.output, text.str());
    }
    if (problem) {
        err << "Output not written: " << problem->message() << '\n';
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
    const auto& options = std::get<CheckOptions>(parsed);
    if (options.help) {
        out << checkUsageText();
        return kExitClean;
    }

    // Opened before the lists are asked, so that a history that cannot be
    // used is said first; the check runs all the same.
    CheckHistory history = CheckHistory::open(options.historyFile, !options.noHistory, err);

    auto outcome = runCheck(options, {in, err, listFilePath(), {}});
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        return usageFailure(failure->message, options.format == CheckFormat::Nagios, out, err);
    }
    auto& run = std::get<CheckRun>(outcome);
    history.annotate(run, err);
    const bool outputWritten = writeOutput(run, options, out, err);
    history.recordAndPrune(run, options.keepDays, err);

    const bool pageWritten = !options.page || writeStatusPage(*options.page, run, history, err);
    const bool changesUnknown = options.changes && history.changesUnknown();
    if (changesUnknown && options.format != CheckFormat::Nagios) {
        // Without a history nobody can say what changed: never "nothing changed".
        err << "ostrivane --check: --changes needs the history of earlier runs\n";
    }
    if (!outputWritten) {
        return kExitFailed;
    }
    return checkExitStatus(run, options, {changesUnknown, pageWritten});
}

}  // namespace ostrivane
