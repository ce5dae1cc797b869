#include "persist/startup.h"

#include <ostream>
#include <system_error>
#include <utility>
#include <variant>

#include "core/resolver.h"
#include "persist/atomic_write.h"
#include "persist/executable_dir.h"
#include "persist/list_file.h"
#include "persist/read_file.h"
#include "persist/user_folders.h"
#include "text/terminal_text.h"

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

// Something stands at the list file's path that isNonEmptyFile turns down but that
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

void putFields(BlacklistTable& table, const ListFields& fields) {
    for (int row = 0; row < kRowCount; ++row) {
        table.setName(row, fields[static_cast<std::size_t>(2 * row)]);
        table.setZone(row, fields[static_cast<std::size_t>(2 * row + 1)]);
    }
}

// Whether the file now holds something else than start-up found (or the last
// save wrote): other bytes, a list where there was none, none where there was
// one, or something that can no longer be read.
bool listFileChangedOnDisk(const ListFileState& state) {
    if (!isNonEmptyFile(state.path)) {
        return state.bytesOnDisk.has_value() || unusableListFile(state.path).has_value();
    }
    const auto now = readWholeFile(state.path, kListFileLimit);
    const auto* bytes = std::get_if<std::string>(&now);
    return bytes == nullptr || !state.bytesOnDisk || *bytes != *state.bytesOnDisk;
}

}  // namespace

bool isInstalledProgramFolder(const std::filesystem::path& executableFolder) {
    if (executableFolder.filename() != "bin") {
        return false;
    }
    const auto prefix = executableFolder.parent_path();
    const auto manPage = prefix / "share" / "man" / "man1" / "ostrivane.1";
    std::error_code ec;
    return std::filesystem::is_directory(prefix / "lib" / "ostrivane", ec) ||
           std::filesystem::exists(manPage, ec) ||
           std::filesystem::exists(manPage.string() + ".gz", ec);
}

std::filesystem::path listFilePathFor(const std::filesystem::path& executableFolder,
                                      const std::filesystem::path& configFolder) {
    const auto beside = executableFolder / kListFileName;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(beside, ec)) ||
        (!isInstalledProgramFolder(executableFolder) && isWritableFolder(executableFolder))) {
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

    ListFileState state;
    state.path = listFile;
    if (isNonEmptyFile(listFile)) {
        auto read = readListFile(listFile);
        if (auto* content = std::get_if<ListFileContent>(&read)) {
            putFields(table, content->fields);
            state.bytesOnDisk = std::move(content->bytes);
            state.encoding = content->encoding;
        } else {
            state.loadProblem = std::get<FileProblem>(read);
        }
    } else {
        state.loadProblem = unusableListFile(listFile);
    }
    if (!state.bytesOnDisk) {
        loadDefaultBlacklists(table);
    }
    // As the table holds them, which may not be quite as the file had them
    // (a window cell takes no more than it can show).
    state.shown = fieldsOf(table);
    return state;
}

MemoryTable startUpWarningOfProblems(const std::filesystem::path& listFile, std::ostream& errors) {
    MemoryTable table;
    const ListFileState list = startUp(table, listFile);
    if (list.loadProblem) {
        errors << "List file not read, checking the default blacklists instead: "
               << escapeForTerminal(list.loadProblem->message()) << '\n';
    }
    return table;
}

CloseStep closeStepFor(const BlacklistTable& table, const ListFileState& state) {
    const bool edited = fieldsOf(table) != state.shown;
    if (!state.mayOverwrite()) {
        return edited ? CloseStep::AskBeforeDropping : CloseStep::KeepFile;
    }
    const bool changedOnDisk = listFileChangedOnDisk(state);
    if (!state.bytesOnDisk && !changedOnDisk) {
        return CloseStep::Save;
    }
    if (!edited) {
        return CloseStep::KeepFile;
    }
    return changedOnDisk ? CloseStep::AskBeforeOverwriting : CloseStep::Save;
}

std::optional<FileProblem> saveList(const BlacklistTable& table, ListFileState& state) {
    if (auto problem = createFolderOf(state.path)) {
        return problem;
    }
    EncodedListFile encoded = encodeListFile(table, state.encoding);
    if (auto problem = writeFileAtomically(state.path, encoded.bytes)) {
        return problem;
    }
    state.shown = fieldsOf(table);
    state.bytesOnDisk = std::move(encoded.bytes);
    state.encoding = encoded.encoding;
    return std::nullopt;
}

std::optional<FileProblem> saveAtClose(const BlacklistTable& table, ListFileState& state) {
    if (closeStepFor(table, state) != CloseStep::Save) {
        return std::nullopt;
    }
    return saveList(table, state);
}

}  // namespace ostrivane
