#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "persist/file_problem.h"

namespace ostrivane {

// Where writeFileAtomically stages the new content: beside the target, so
// that the final rename stays within one file system, and named after this
// process, so that two runs writing the same file do not share it.
std::filesystem::path temporaryPathFor(const std::filesystem::path& target);

// Writes the content to a temporary file beside the target, flushes it to
// disk and renames it over the target: a reader sees the old file or the new
// one, never half of one, and a failed write leaves the old file as it was.
std::optional<FileProblem> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view content);

// Creates the folder that is to hold the file, when it is missing.
std::optional<FileProblem> createFolderOf(const std::filesystem::path& file);

}  // namespace ostrivane
