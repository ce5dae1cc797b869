#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "persist/file_problem.h"

namespace ostrivane {

// Where writeFileAtomically stages the new content under a name: beside the
// target, so that the final rename stays within one file system, and named
// after this process, so that two runs writing the same file do not share it
// and a later run can tell a temporary left by a killed run from one that is
// still being written.
std::filesystem::path temporaryPathFor(const std::filesystem::path& target);

// How the new content is staged before it becomes the file.
enum class Staging {
    // An unnamed file (O_TMPFILE) that gets its name only once it is complete,
    // so that a run killed while writing leaves nothing behind; a named
    // temporary where the file system cannot make one.
    Unnamed,
    // Always the named temporary of temporaryPathFor.
    Named,
};

// Replaces the file at `target` with the content, so that a reader sees the
// old file or the new one, never half of one, and a failed write leaves the
// old file as it was:
// - a symbolic link (of any depth) stays a link: the file it ends at is
//   replaced, in that file's own folder;
// - a device, FIFO or socket is written to directly (nothing is renamed, and
//   a write error is reported), as is a file reached through an open file's
//   link under /proc (such as /dev/stdout);
// - a replaced file keeps its permissions and, where this process may set
//   it, its owner and group;
// - temporaries of this target left by runs whose process has ended are
//   removed.
std::optional<FileProblem> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view content,
                                               Staging staging = Staging::Unnamed);

// Removes the temporaries of `target` (temporaryPathFor's names) whose
// process no longer runs; those of running processes are kept.
void removeStaleTemporaries(const std::filesystem::path& target);

// Creates the folder that is to hold the file, when it is missing.
std::optional<FileProblem> createFolderOf(const std::filesystem::path& file);

}  // namespace ostrivane
