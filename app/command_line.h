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

// What a usage error prints on standard error: the problem, the forms of the
// command line, and where to read more.
std::string usageErrorText(std::string_view problem);

}  // namespace ostrivane
