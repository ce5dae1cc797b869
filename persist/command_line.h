#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ostrivane {

enum class CommandKind {
    Interactive,  // nothing after the program name: the window
    Help,
    Version,
    CheckZones,  // is every blacklist of the list file alive?
    Unattended,  // anything else is a host to check
};

struct Command {
    CommandKind kind = CommandKind::Interactive;
    std::string host;  // for Unattended: the command line after the program name
};

// Everything after the program name is one text, the arguments joined by
// single blanks, not trimmed and not unquoted. Only a command line that is
// exactly --help, --version or --check-zones is an option; "--help me" is a host.
Command parseCommandLine(int argc, const char* const* argv);

// What --help prints: the host argument, where the list file and the report
// are, and what the exit statuses mean.
std::string usageText(const std::filesystem::path& listFile, const std::filesystem::path& report,
                      bool withWindow);

}  // namespace ostrivane
