#include "app/check_mode.h"

#include <ostream>
#include <variant>

#include "check/check_command.h"
#include "check/check_options.h"
#include "check/check_output.h"
#include "persist/startup.h"

namespace ostrivane {

namespace {

int usageFailure(std::string_view message, const CheckOptions* options, std::ostream& out,
                 std::ostream& err) {
    // A monitor reads standard output: give it the one UNKNOWN line it expects.
    if (options != nullptr && options->format == CheckFormat::Nagios) {
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
        return usageFailure(error->message, nullptr, out, err);
    }
    const auto& options = std::get<CheckOptions>(parsed);
    if (options.help) {
        out << checkUsageText();
        return kCheckClean;
    }

    auto outcome = runCheck(options, {in, err, listFilePath()});
    if (const auto* failure = std::get_if<CheckFailure>(&outcome)) {
        return usageFailure(failure->message, &options, out, err);
    }
    const auto& run = std::get<CheckRun>(outcome);
    // The history store goes here: it reads the run, marks what changed
    // since the last one, and keeps it.
    printCheckRun(run, options, out);
    out.flush();
    return checkExitStatus(run, options);
}

}  // namespace ostrivane
