#pragma once

// Start-up and shutdown of the program, the list file and the unattended
// report: everything between the process starting and the window appearing,
// and what happens when it closes.

#include <filesystem>
#include <optional>
#include <string>

#include "core/blacklist_table.h"
#include "persist/file_problem.h"

namespace ostrivane {

// What start-up learnt about the list file, needed again at close.
struct ListFileState {
    std::filesystem::path path;
    // The file exists but could not be read: the defaults are shown, and the
    // file is the user's to mend, so it must not be overwritten at close.
    std::optional<FileProblem> loadProblem;

    bool mayOverwrite() const { return !loadProblem.has_value(); }
};

// Where the list file lives. Beside the executable, so that every copy of the
// program keeps its own list, when the file is already there or that folder is
// writable; otherwise (a program installed in a system folder such as /usr/bin)
// in the user's configuration folder, ostrivane/sbllist.txt.
std::filesystem::path listFilePathFor(const std::filesystem::path& executableFolder,
                                      const std::filesystem::path& configFolder);

// listFilePathFor the running program and the user's configuration folder.
std::filesystem::path listFilePath();

// Starts the network, clears the table, then fills names and zones from the
// list file when it exists and is not empty, else from the defaults.
ListFileState startUp(BlacklistTable& table, const std::filesystem::path& listFile);

// Saves names and zones at close (unless the file is to be kept as it is),
// creating the list file's folder when it is missing.
// Returns the problem when the file could not be written; nothing is lost then,
// as the old file stays in place.
std::optional<FileProblem> saveAtClose(const BlacklistTable& table, const ListFileState& state);

}  // namespace ostrivane
