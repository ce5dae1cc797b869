#pragma once

#include <filesystem>
#include <string>

namespace ostrivane {

// Why a file could not be read or written, with the file it concerns; the
// caller decides how to say it (a message box, a line on standard error).
struct FileProblem {
    std::filesystem::path path;
    std::string reason;

    // "<path>: <reason>"
    std::string message() const;
};

}  // namespace ostrivane
