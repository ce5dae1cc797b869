#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ostrivane {

// Why the history store could not be opened, read or written, with the file
// it concerns; the caller decides how to say it.
struct HistoryProblem {
    std::filesystem::path path;
    std::string reason;

    // "history file <path>: <reason>"
    std::string message() const;
};

// $XDG_STATE_HOME/ostrivane/history.sqlite when XDG_STATE_HOME is an absolute
// path, else .local/state/ostrivane/history.sqlite in the home folder.
std::filesystem::path historyPathFor(std::optional<std::string_view> xdgStateHome,
                                     std::optional<std::string_view> home);

// The same for this process, in the home folder that persist's homeFolder finds
// ($HOME, or the password database's entry when cron starts a job without it).
std::filesystem::path defaultHistoryPath();

}  // namespace ostrivane
