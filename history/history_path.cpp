#include "history/history_path.h"

#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace ostrivane {

std::string HistoryProblem::message() const {
    return "history file " + path.string() + ": " + reason;
}

std::filesystem::path historyPathFor(std::optional<std::string_view> xdgStateHome,
                                     std::optional<std::string_view> home) {
    std::filesystem::path folder;
    if (xdgStateHome && std::filesystem::path(*xdgStateHome).is_absolute()) {
        folder = std::filesystem::path(*xdgStateHome);
    } else {
        folder = std::filesystem::path(home.value_or("")) / ".local" / "state";
    }
    return folder / "ostrivane" / "history.sqlite";
}

namespace {

std::optional<std::string_view> environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string_view>(value) : std::nullopt;
}

}  // namespace

std::filesystem::path defaultHistoryPath() {
    auto home = environment("HOME");
#ifndef _WIN32
    if (!home || home->empty()) {
        if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) {
            home = user->pw_dir;
        }
    }
#endif
    return historyPathFor(environment("XDG_STATE_HOME"), home);
}

}  // namespace ostrivane
