#include "app/check_mode.h"

#include <ostream>
#include <variant>

#include "check/check_command.h"
#include "check/check_options.h"
#include "check/check_output.h"
#include "persist/startup.h"

namespace ostrivane {

namespace {

// Whether the command line asked for nagios output, even one too broken to
// parse: a monitor reads standard output and needs its UNKNOWN line.
bool asksForNagios(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format=nagios" ||
            (args[i] == "--format" && i + 1 < args.size() && args[i + 1] == "nagios")) {
            return true;
        }
    }
    return false;
}

int usageFailure(std::string_view message, bool nagios, std::ostream& out, std::ostream& err) {
    if (nagios) {
        out << "OSTRIVANE UNKNOWN - " << escapeControls(message) << '\n';
    }
    err << "ostrivane --check: " << message << "\n\n" << checkUsageText();
    return kCheckUsage;
}

}  // namespace

int runCheckCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
    const auto parsed = parseCheckOptions(args);
    if (const auto* error = std::get_if<CheckUsageError>(&parsed)) {
        return usageFailure(error->message, asksForNagios(args), out, err);
    }
    const auto& options = std::get<CheckOptions>(parsed);
    if (options.help) {
        out << checkUsageText();
        return kCheckClean;
    }

    auto outcome = runCheck(options, {in, err, listFilePath()});
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        return usageFailure(failure->message, options.format == CheckFormat::Nagios, out, err);
    }
    const auto& run = std::get<CheckRun>(outcome);
    // The history store goes here: it reads the run, marks what changed
    // since the last one, and keeps it.
    printCheckRun(run, options, out);
    out.flush();
    return checkExitStatus(run, options);
}

}  // namespace ostrivane
