#include "history/history_path.h"

#include "persist/user_folders.h"

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

std::filesystem::path defaultHistoryPath() {
    return historyPathFor(environmentValue("XDG_STATE_HOME"), homeFolder());
}

}  // namespace ostrivane
