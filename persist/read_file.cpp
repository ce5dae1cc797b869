#include "persist/read_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace ostrivane {

std::variant<std::string, FileProblem, FileTooLarge> readWholeFile(
    const std::filesystem::path& path, std::uintmax_t limit) {
    std::error_code ec;
    if (const auto size = std::filesystem::file_size(path, ec); !ec && size > limit) {
        return FileTooLarge{size};
    }
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) {
        return FileProblem{path, std::generic_category().message(errno)};
    }
    std::string content;
    std::array<char, 4096> buffer{};
    std::size_t count = 0;
    while (content.size() <= limit) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::uintmax_t>(buffer.size(), limit + 1 - content.size()));
        if ((count = std::fread(buffer.data(), 1, wanted, file)) == 0) {
            break;
        }
        content.append(buffer.data(), count);
    }
    // A directory opens fine on some systems and fails only here.
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        return FileProblem{path, std::generic_category().message(error)};
    }
    if (content.size() > limit) {
        return FileTooLarge{content.size()};
    }
    return content;
}

}  // namespace ostrivane
