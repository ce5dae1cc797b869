#pragma once

#include <filesystem>
#include <string>
#include <variant>

namespace ostrivane {

// The file name of the window module, and where it is looked for: beside the
// program (a build or a copied program), then in lib/ostrivane beside the
// program's bin folder (an installed one).
std::filesystem::path windowModuleName();
std::filesystem::path findWindowModule(const std::filesystem::path& programFolder);

// Loads the window module and runs the window; the window's exit status, or
// the reason the module could not be loaded.
std::variant<int, std::string> runWindowModule(const std::filesystem::path& module, int argc,
                                               char** argv);

}  // namespace ostrivane
