#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "app/check_mode.h"
#include "app/command_line.h"
#include "app/exit_status.h"
#include "app/lists_mode.h"
#include "app/one_host_mode.h"
#include "app/serve_mode.h"
#include "app/timeline_mode.h"
#include "app/window_mode.h"
#include "app/zone_check_mode.h"
#include "core/resolver.h"
#include "persist/report.h"
#include "persist/startup.h"

namespace {

// What went to standard output must have arrived (a full disk, /dev/full, a
// closed pipe): else the status says so, whatever it was going to be.
int afterWritingStandardOutput(int status) {
    std::cout.flush();
    const bool failed = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (failed) {
        const int error = errno;
        std::cerr << "ostrivane: cannot write to standard output"
                  << (error != 0 ? std::string(": ") + std::strerror(error) : std::string())
                  << '\n';
        return ostrivane::kExitFailed;
    }
    return status;
}

}  // namespace

// Every way in, on one page: each mode's entry point is a file of app/.
int main(int argc, char* argv[]) {
    using namespace ostrivane;
    const Command command = parseCommandLine(argc, argv);
    switch (command.kind) {
        case CommandKind::Help:
            std::cout << usageText(listFilePath(), reportPath(), buildHasWindow());
            return afterWritingStandardOutput(kExitClean);
        case CommandKind::Version:
            std::cout << "ostrivane " OSTRIVANE_VERSION "\n";
            return afterWritingStandardOutput(kExitClean);
        case CommandKind::UsageError:
            std::cerr << usageErrorText(command.problem);
            return kExitFailed;
        case CommandKind::Unattended: {
            SystemResolver resolver;
            // A test point still unanswered at the end is left behind with
            // its own resolver: the program ends without waiting for it.
            const TestPointAsker testPoints(std::make_shared<SystemResolver>());
            return runUnattended({command.host, listFilePath(), reportPath()}, resolver, testPoints,
                                 std::cerr);
        }
        case CommandKind::Check:
            // A closed pipe is a failed write (status 3), not a silent death:
            // the run is recorded before anything is printed.
            std::signal(SIGPIPE, SIG_IGN);
            return afterWritingStandardOutput(
                runCheckCommand(command.arguments, std::cin, std::cout, std::cerr));
        case CommandKind::Lists:
            return afterWritingStandardOutput(
                runListsCommand(command.arguments, std::cout, std::cerr));
        case CommandKind::Timeline:
            // The timeline reads the history of check runs and nothing else.
            std::signal(SIGPIPE, SIG_IGN);
            return afterWritingStandardOutput(
                runTimelineCommand(command.arguments, std::cout, std::cerr));
        case CommandKind::Serve:
            return runServeCommand(command.arguments, std::cout, std::cerr);
        case CommandKind::CheckZones:
            errno = 0;
            return afterWritingStandardOutput(
                runZoneCheckMode(command.arguments, listFilePath(), std::cout, std::cerr));
        case CommandKind::Interactive:
            break;
    }
    return runWindowMode(argc, argv);
}
