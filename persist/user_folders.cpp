#include "persist/user_folders.h"

#include <cstdlib>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace ostrivane {

std::optional<std::string_view> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string_view>(value) : std::nullopt;
}

std::optional<std::string_view> homeFolder() {
    auto home = environmentValue("HOME");
#ifndef _WIN32
    if (!home || home->empty()) {
        if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) {
            home = user->pw_dir;
        }
    }
#endif
    return home;
}

std::filesystem::path configFolderFor(std::optional<std::string_view> xdgConfigHome,
                                      std::optional<std::string_view> home) {
    if (xdgConfigHome && std::filesystem::path(*xdgConfigHome).is_absolute()) {
        return std::filesystem::path(*xdgConfigHome);
    }
    return std::filesystem::path(home.value_or("")) / ".config";
}

}  // namespace ostrivane
