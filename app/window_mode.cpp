#include "app/window_mode.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <variant>

#include "app/exit_status.h"

#ifdef OSTRIVANE_WITH_GUI
#include "app/display_probe.h"
#include "app/window_module.h"
#include "persist/executable_dir.h"
#else
#include "app/command_line.h"
#endif

namespace ostrivane {

#ifdef OSTRIVANE_WITH_GUI

bool buildHasWindow() {
    return true;
}

int runWindowMode(int argc, char* argv[]) {
    if (!displayAvailable()) {
        std::cerr << kNoDisplayMessage << '\n';
        return kExitFailed;
    }
    const auto module = findWindowModule(executableDirectory());
    const auto outcome = runWindowModule(module, argc, argv);
    if (const auto* reason = std::get_if<std::string>(&outcome)) {
        std::cerr << "ostrivane: cannot open the window: " << *reason << '\n';
        std::error_code ec;
        if (!std::filesystem::exists(module, ec)) {
            std::cerr << "ostrivane: the window comes with the package ostrivane-gui\n";
        }
        return kExitFailed;
    }
    return std::get<int>(outcome);
}

#else

bool buildHasWindow() {
    return false;
}

int runWindowMode(int, char*[]) {
    std::cerr << usageErrorText("this build has no window: HOST is required");
    return kExitFailed;
}

#endif

}  // namespace ostrivane
