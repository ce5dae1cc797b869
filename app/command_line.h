#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ostrivane {

enum class CommandKind {
    Interactive,  // nothing after the program name: the window
    Help,
    Version,
    CheckZones,  // is every blacklist alive? The rest of the line is its own
    Check,       // the monitoring check of many addresses: the rest of the line is its own
    Timeline,    // the listing periods kept in the history of checks
    Lists,       // the catalog of lists: the rest of the line is its own
    Serve,       // the Prometheus exporter: the rest of the line is its own
    Unattended,  // a host to check
    UsageError,  // an unknown option, or a blank host: nothing is done
};

struct Command {
    CommandKind kind = CommandKind::Interactive;
    std::string host;                    // for Unattended: the arguments joined by blanks
    std::vector<std::string> arguments;  // for a mode that takes the rest of the line
    std::string problem;                 // for UsageError: what is wrong, for the user
};

// No host name begins with "-", so a first argument that does is an option:
// one of the modes (-h/--help, -V/--version, --check-zones ..., --check ...,
// --timeline ...), or a usage error. Otherwise everything after the program name is the host, the
// arguments joined by single blanks, not trimmed and not unquoted; a host
// that is empty or only white space is a usage error (an unset "$HOST" in a
// script must not check nothing and replace the report).
Command parseCommandLine(int argc, const char* const* argv);

// What --help prints: the host argument, where the list file and the report
// are, and what the exit statuses mean.
std::string usageText(const std::filesystem::path& listFile, const std::filesystem::path& report,
                      bool withWindow);

// The first line of a mode's usage, from the table of modes: "Usage:
// ostrivane --check [OPTIONS] TARGET...". Any other kind: the one-host check's.
std::string usageLine(CommandKind mode);

// The second line of a usage error, where the mode's whole usage is: "Try
// 'ostrivane --check --help'."; "Try 'ostrivane --help'." for a kind that is
// no mode of its own.
std::string tryHelpLine(CommandKind mode);

// What a usage error of the command line as a whole prints on standard error:
// the problem, then where to read more.
std::string usageErrorText(std::string_view problem);

}  // namespace ostrivane
