#pragma once

#include <filesystem>

namespace ostrivane {

// The directory of the running program (not the current directory), or the
// empty path when the system will not tell, which then means the current one.
std::filesystem::path executableDirectory();

}  // namespace ostrivane
