#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace ostrivane {

// The value of an environment variable, when it is set.
std::optional<std::string_view> environmentValue(const char* name);

// $HOME, or the user's entry in the password database: cron and some service
// managers start jobs without HOME.
std::optional<std::string_view> homeFolder();

// $XDG_CONFIG_HOME when it is an absolute path, else .config in the home folder.
std::filesystem::path configFolderFor(std::optional<std::string_view> xdgConfigHome,
                                      std::optional<std::string_view> home);

}  // namespace ostrivane
