#include "app/command_line.h"

#include <array>

namespace ostrivane {

namespace {

enum class Takes {
    Nothing,  // the option must stand alone
    TheRest,  // every argument after the option belongs to it
};

struct Mode {
    std::string_view option;
    CommandKind kind;
    Takes takes;
    std::string_view synopsis = {};  // what follows the option in the usage
};

// The options a command line may begin with. A mode that takes the rest of
// the line receives those arguments in Command::arguments. The usage's
// synopsis is printed from these rows, in this order.
constexpr std::array kModes{
    Mode{"-h", CommandKind::Help, Takes::Nothing},
    Mode{"--help", CommandKind::Help, Takes::Nothing},
    Mode{"-V", CommandKind::Version, Takes::Nothing},
    Mode{"--version", CommandKind::Version, Takes::Nothing},
    Mode{"--check-zones", CommandKind::CheckZones, Takes::TheRest, "[OPTIONS]"},
    Mode{"--check", CommandKind::Check, Takes::TheRest, "[OPTIONS] TARGET..."},
    Mode{"--timeline", CommandKind::Timeline, Takes::TheRest, "[--history FILE] [TARGET...]"},
    Mode{"--lists", CommandKind::Lists, Takes::TheRest, "[--format text|json] [--config FILE]"},
    Mode{"--serve", CommandKind::Serve, Takes::TheRest,
         "[[ADDRESS]:PORT] [--target TARGET...] [OPTIONS]"},
};

// The mode's row, or nothing for the one-host check and the window.
const Mode* modeOf(CommandKind kind) {
    for (const Mode& mode : kModes) {
        if (mode.kind == kind && mode.takes == Takes::TheRest) {
            return &mode;
        }
    }
    return nullptr;
}

// "ostrivane --check [OPTIONS] TARGET...".
std::string formOf(const Mode& mode) {
    return "ostrivane " + std::string(mode.option) + " " + std::string(mode.synopsis);
}

Command usageError(std::string problem) {
    return {CommandKind::UsageError, {}, {}, std::move(problem)};
}

bool isWhiteSpaceOnly(std::string_view text) {
    return text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

Command parseOptions(int argc, const char* const* argv) {
    const std::string_view option = argv[1];
    for (const Mode& mode : kModes) {
        if (mode.option != option) {
            continue;
        }
        Command command{mode.kind, {}, {}, {}};
        if (mode.takes == Takes::TheRest) {
            command.arguments.assign(argv + 2, argv + argc);
        } else if (argc > 2) {
            return usageError(std::string(option) + " takes no arguments");
        }
        return command;
    }
    return usageError("unknown option " + std::string(option));
}

}  // namespace

Command parseCommandLine(int argc, const char* const* argv) {
    if (argc < 2) {
        return {CommandKind::Interactive, {}, {}, {}};
    }
    if (argv[1][0] == '-') {
        return parseOptions(argc, argv);
    }
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    if (isWhiteSpaceOnly(text)) {
        return usageError("the host is blank");
    }
    return {CommandKind::Unattended, std::move(text), {}, {}};
}

std::string usageLine(CommandKind kind) {
    const Mode* mode = modeOf(kind);
    return "Usage: " + (mode == nullptr ? "ostrivane [HOST]" : formOf(*mode)) + "\n";
}

std::string tryHelpLine(CommandKind kind) {
    const Mode* mode = modeOf(kind);
    const std::string option = mode == nullptr ? "" : std::string(mode->option) + " ";
    return "Try 'ostrivane " + option + "--help'.\n";
}

std::string usageErrorText(std::string_view problem) {
    return "ostrivane: " + std::string(problem) + "\n" + tryHelpLine(CommandKind::Help);
}

namespace {

// Every form of the command line: the one-host check, each mode with the rest
// of the line, then the options that stand alone.
std::string synopsis() {
    std::string text = usageLine(CommandKind::Unattended);
    std::string alone;
    for (const Mode& mode : kModes) {
        if (mode.takes == Takes::TheRest) {
            text += "       " + formOf(mode) + "\n";
        } else {
            alone += (alone.empty() ? "" : " | ") + std::string(mode.option);
        }
    }
    return text + "       ostrivane " + alone + "\n";
}

// The rest of --help: the other modes and the one-host check's statuses.
constexpr const char* kOtherModesAndStatuses =
    "\n"
    "--check-zones asks every zone of the list file whether it lists 127.0.0.2\n"
    "and not 127.0.0.1, as every working IPv4 blacklist does, and ::FFFF:7F00:2\n"
    "and not ::FFFF:7F00:1, as every working IPv6 one does, and prints each\n"
    "list's state for each family and as a whole: healthy, lists everything,\n"
    "empty or dead, or refuses us (an answer outside 127.0.0.0/8, or an error\n"
    "code from 127.255.255.0/24). It exits 0 when every list is healthy (for\n"
    "either family), 4 otherwise or when no row has a\n"
    "zone, and 3 on a usage error or when its output cannot be written; see\n"
    "ostrivane --check-zones --help for its options (--list, --server,\n"
    "--timeout, --format json).\n"
    "\n"
    "--check asks every list about every address of the targets at once (IPv4\n"
    "and IPv6, host names, blocks), for cron, Nagios and scripts, and keeps a\n"
    "history of what changed; see ostrivane --check --help. --timeline prints\n"
    "the listing periods of that history. --serve checks targets (--target or\n"
    "the config file's) every 15 minutes and serves the results to Prometheus;\n"
    "see ostrivane --serve --help.\n"
    "\n"
    "Exit status:\n"
    "  0  the host resolved, every blacklist answered, and none lists it\n"
    "  1  at least one blacklist lists the host\n"
    "  2  the host could not be resolved (the report shows no results)\n"
    "  3  the report could not be written (whatever the lookup found; the\n"
    "     listings are named on standard error), a usage error (an unknown\n"
    "     option, a blank host, an IPv6 address), or no display for the window\n"
    "  4  none lists the host, but at least one blacklist gave no answer\n"
    "     (\"Lookup failed\") or an error (\"List error: ...\", any answer\n"
    "     outside 127.0.0.0/8 or from 127.255.255.0/24, or a list that its test\n"
    "     points, asked after the lookup, show broken: \"List error: lists\n"
    "     everything\", \"List error: not a working list\"): the check is\n"
    "     incomplete; or no row of the list file has a zone\n"
    "Failures are described on standard error.\n";

}  // namespace

std::string usageText(const std::filesystem::path& listFile, const std::filesystem::path& report,
                      bool withWindow) {
    std::string text = synopsis();
    text +=
        "\n"
        "Checks HOST, a host name or an IPv4 address, against every DNS blacklist of\n"
        "the list file, writes an HTML report and exits, without a window and\n"
        "printing nothing when all went well. Everything after the program name is\n"
        "the host, taken as one text; a first argument beginning with \"-\" is an\n"
        "option, and an unknown option or a blank host is a usage error that leaves\n"
        "the report as it was. IPv6 addresses are not checked in this mode.\n";
    text += withWindow ? "Without HOST the window opens; without a display that is an error.\n"
                       : "This build has no window: HOST is required.\n";
    text +=
        "\n"
        "List file: " +
        listFile.string() +
        "\n"
        "  The names and zones of the 20 blacklist rows. An installed program\n"
        "  (PREFIX/bin beside PREFIX/lib/ostrivane or its man page) keeps it in\n"
        "  ostrivane/sbllist.txt in $XDG_CONFIG_HOME (by default ~/.config), unless\n"
        "  sbllist.txt already lies beside the program. Any other copy keeps it in\n"
        "  its own folder (not the current one), so that every copy has its own\n"
        "  list, or in $XDG_CONFIG_HOME when that folder is not writable.\n"
        "  Without it, or when it is empty, the 16 default blacklists are used.\n"
        "  The window saves it when it closes and the list was changed; an\n"
        "  unattended run never changes it.\n"
        "\n"
        "Report: " +
        report.string() +
        "\n"
        "  Replaced by every unattended run; its folder is created when missing.\n"
        "  Set OSTRIVANE_REPORT to the full path of the report to write it elsewhere.\n"
        "  A symbolic link stays a link (the file it points to is replaced); a\n"
        "  device, FIFO or socket is written to as it is.\n";
    text += kOtherModesAndStatuses;
    return text;
}

}  // namespace ostrivane
