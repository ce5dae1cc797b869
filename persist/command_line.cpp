#include "persist/command_line.h"

namespace ostrivane {

Command parseCommandLine(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    if (text.empty()) {
        return {CommandKind::Interactive, {}};
    }
    if (text == "--help") {
        return {CommandKind::Help, {}};
    }
    if (text == "--version") {
        return {CommandKind::Version, {}};
    }
    if (text == "--check-zones") {
        return {CommandKind::CheckZones, {}};
    }
    return {CommandKind::Unattended, std::move(text)};
}

std::string usageText(const std::filesystem::path& listFile, const std::filesystem::path& report,
                      bool withWindow) {
    std::string text =
        "Usage: ostrivane [HOST]\n"
        "       ostrivane --check-zones\n"
        "       ostrivane --help | --version\n"
        "\n"
        "Checks HOST, a host name or an IPv4 address, against every DNS blacklist of\n"
        "the list file, writes an HTML report and exits, without a window and\n"
        "printing nothing when all went well. Everything after the program name is\n"
        "the host, taken as one text.\n";
    text += withWindow ? "Without HOST the window opens.\n"
                       : "This build has no window: HOST is required.\n";
    text +=
        "\n"
        "List file: " +
        listFile.string() +
        "\n"
        "  The names and zones of the 20 blacklist rows. It is sbllist.txt in the\n"
        "  program's own folder (not the current one), so that every copy of the\n"
        "  program keeps its own list, when the file is there or the folder is\n"
        "  writable; otherwise, as for a program installed in /usr/bin, it is\n"
        "  ostrivane/sbllist.txt in $XDG_CONFIG_HOME (by default ~/.config).\n"
        "  Without it, or when it is empty, the 16 default blacklists are used.\n"
        "  The window saves it when it closes; an unattended run never changes it.\n"
        "\n"
        "Report: " +
        report.string() +
        "\n"
        "  Replaced by every unattended run; its folder is created when missing.\n"
        "  Set OSTRIVANE_REPORT to the full path of the report to write it elsewhere.\n"
        "\n"
        "--check-zones asks every zone of the list file whether it lists 127.0.0.2\n"
        "and not 127.0.0.1, as every working IPv4 blacklist does, and prints each\n"
        "list's state: healthy, lists everything, empty or dead, or refuses us.\n"
        "It exits 0 when every list is healthy and 4 otherwise.\n"
        "\n"
        "Exit status:\n"
        "  0  the host resolved, every blacklist answered, and none lists it\n"
        "  1  at least one blacklist lists the host\n"
        "  2  the host could not be resolved (the report shows no results)\n"
        "  3  the report could not be written (whatever the lookup found), or the\n"
        "     host was blank or missing\n"
        "  4  none lists the host, but at least one blacklist gave no answer\n"
        "     (\"Lookup failed\") or an error (\"List error: ...\"): the check is\n"
        "     incomplete\n"
        "Failures are described on standard error.\n";
    return text;
}

}  // namespace ostrivane
