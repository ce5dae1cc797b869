#include "persist/startup.h"

#include <system_error>

#include "core/resolver.h"
#include "persist/atomic_write.h"
#include "persist/executable_dir.h"
#include "persist/list_file.h"
#include "persist/user_folders.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ostrivane {

namespace {

bool isWritableFolder(const std::filesystem::path& folder) {
    const auto name = (folder.empty() ? std::filesystem::path(".") : folder).string();
#ifdef _WIN32
    return _access(name.c_str(), 2) == 0;
#else
    return access(name.c_str(), W_OK) == 0;
#endif
}

// Something stands at the list file's path that FileExists turns down but that
// is not simply absent or empty: a directory, a device, a path that cannot be
// examined. It is not a list we may replace with ours.
std::optional<FileProblem> unusableListFile(const std::filesystem::path& listFile) {
    std::error_code ec;
    const auto status = std::filesystem::status(listFile, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory) {
            return std::nullopt;
        }
        return FileProblem{listFile, ec.message()};
    }
    if (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
        return std::nullopt;
    }
    if (std::filesystem::is_directory(status)) {
        return FileProblem{listFile, "it is a folder, not a file"};
    }
    return FileProblem{listFile, "it is not a regular file"};
}

}  // namespace

std::filesystem::path listFilePathFor(const std::filesystem::path& executableFolder,
                                      const std::filesystem::path& configFolder) {
    const auto beside = executableFolder / kListFileName;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(beside, ec)) ||
        isWritableFolder(executableFolder)) {
        return beside;
    }
    return configFolder / "ostrivane" / kListFileName;
}

std::filesystem::path listFilePath() {
    return listFilePathFor(executableDirectory(),
                           configFolderFor(environmentValue("XDG_CONFIG_HOME"), homeFolder()));
}

ListFileState startUp(BlacklistTable& table, const std::filesystem::path& listFile) {
    startNetwork();
    clearTable(table);

    ListFileState state{listFile, std::nullopt};
    const bool usable = FileExists(listFile);
    state.loadProblem = usable ? loadListFile(table, listFile) : unusableListFile(listFile);
    if (!usable || state.loadProblem) {
        loadDefaultBlacklists(table);
    }
    return state;
}

std::optional<FileProblem> saveAtClose(const BlacklistTable& table, const ListFileState& state) {
    if (!state.mayOverwrite()) {
        return std::nullopt;
    }
    if (auto problem = createFolderOf(state.path)) {
        return problem;
    }
    return saveListFile(table, state.path);
}

}  // namespace ostrivane
