#pragma once

// Start-up and shutdown of the program and its list file: everything between
// the process starting and the first lookup, and what happens when the window
// closes.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "core/blacklist_table.h"
#include "core/memory_table.h"
#include "persist/file_problem.h"
#include "persist/list_file.h"
#include "persist/text_encoding.h"

namespace ostrivane {

// What start-up learnt about the list file, needed again at close.
struct ListFileState {
    std::filesystem::path path;
    // The file exists but could not be read: the defaults are shown, and the
    // file is the user's to mend, so it must not be overwritten at close.
    std::optional<FileProblem> loadProblem;
    // The names and zones the table showed after start-up (or the last save):
    // what the window has to keep is whatever differs from them.
    ListFields shown;
    // The file's bytes as read (or last written); nothing when there was no
    // list in it (missing or empty) or it could not be read.
    std::optional<std::string> bytesOnDisk;
    // What the file was read in, and so what it is written back in.
    TextEncoding encoding = TextEncoding::Utf8;

    bool mayOverwrite() const { return !loadProblem.has_value(); }
};

// Where the list file lives. A program installed under a prefix (PREFIX/bin
// beside PREFIX/lib/ostrivane or its man page in PREFIX/share) keeps it in the
// user's configuration folder, ostrivane/sbllist.txt, unless a list file
// already lies beside it: a system folder is no place for one user's list,
// even when root could write there. Any other copy (a build folder, a copy in
// /opt) keeps it beside the executable, so that every copy has its own list,
// unless that folder cannot take it.
std::filesystem::path listFilePathFor(const std::filesystem::path& executableFolder,
                                      const std::filesystem::path& configFolder);

// True when the executable's folder is the bin folder of an installation.
bool isInstalledProgramFolder(const std::filesystem::path& executableFolder);

// listFilePathFor the running program and the user's configuration folder.
std::filesystem::path listFilePath();

// Starts the network, clears the table, then fills names and zones from the
// list file when it exists, is not empty and can be read (at most 1 MiB),
// else from the defaults. The state remembers what the table then showed and
// the bytes the file held, for the close.
ListFileState startUp(BlacklistTable& table, const std::filesystem::path& listFile);

// Start-up's blacklists for a mode without a window: the list file, or the
// defaults when there is none or it cannot be read. The check goes on with the
// defaults then, but a list the user cannot see being ignored would make every
// later result misleading, so the reason goes to `errors`.
MemoryTable startUpWarningOfProblems(const std::filesystem::path& listFile, std::ostream& errors);

// What closing has to do with the list file.
enum class CloseStep {
    // Nothing changed (or the file could not be read and nothing was edited):
    // the file stays exactly as it is.
    KeepFile,
    // The table differs from the file, which has not changed since start-up;
    // or there was no list file yet, and the first close creates it.
    Save,
    // The table differs, and so does the file on disk since start-up (edited
    // by hand, or saved by another window): the user decides which stays.
    AskBeforeOverwriting,
    // The table was edited, but the file could not be read at start-up and
    // must not be replaced: the edits can only be dropped.
    AskBeforeDropping,
};

CloseStep closeStepFor(const BlacklistTable& table, const ListFileState& state);

// Writes names and zones, in the encoding the file was read in where every
// character fits (else UTF-8), creating the list file's folder when it is
// missing; the state then describes the file as written. Returns the problem
// when the file could not be written; nothing is lost then, as the old file
// stays in place.
std::optional<FileProblem> saveList(const BlacklistTable& table, ListFileState& state);

// Saves at close when closeStepFor says Save, and never asks: for callers that
// cannot ask anyone.
std::optional<FileProblem> saveAtClose(const BlacklistTable& table, ListFileState& state);

}  // namespace ostrivane
