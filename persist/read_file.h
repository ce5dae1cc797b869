#pragma once

#include <filesystem>
#include <string>
#include <variant>

#include "persist/file_problem.h"

namespace ostrivane {

// The whole file as it stands on disk, or why it could not be read.
std::variant<std::string, FileProblem> readWholeFile(const std::filesystem::path& path);

}  // namespace ostrivane
