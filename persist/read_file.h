#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "persist/file_problem.h"

namespace ostrivane {

// The file holds more than the reader was willing to take.
struct FileTooLarge {
    std::uintmax_t size = 0;  // as measured, or as far as it was read
};

// The whole file as it stands on disk, or why it could not be read. A file
// larger than `limit` bytes is measured before it is read and never read into
// memory; one that grows while it is read stops one byte past the limit.
std::variant<std::string, FileProblem, FileTooLarge> readWholeFile(
    const std::filesystem::path& path, std::uintmax_t limit);

}  // namespace ostrivane
