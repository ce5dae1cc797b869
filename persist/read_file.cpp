#include "persist/read_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace ostrivane {

std::variant<std::string, FileProblem> readWholeFile(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) {
        return FileProblem{path, std::generic_category().message(errno)};
    }
    std::string content;
    std::array<char, 4096> buffer{};
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        content.append(buffer.data(), count);
    }
    // A directory opens fine on some systems and fails only here.
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        return FileProblem{path, std::generic_category().message(error)};
    }
    return content;
}

}  // namespace ostrivane
