#include "persist/atomic_write.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace ostrivane {

namespace {

int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// The data must be on disk before the rename makes it the file, or a crash
// right after the rename could leave an empty file where the old one was.
bool flushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

std::string lastError() {
    return std::generic_category().message(errno);
}

}  // namespace

std::filesystem::path temporaryPathFor(const std::filesystem::path& target) {
    // Appended piece by piece: GCC 12 at -O3 flags `"." + std::string` with a
    // false -Wrestrict (its bug 105329), which would break a warnings-as-errors
    // Release build.
    std::filesystem::path staged = target;
    staged += ".";
    staged += std::to_string(processId());
    staged += ".tmp";
    return staged;
}

std::optional<FileProblem> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view content) {
    const std::filesystem::path staged = temporaryPathFor(target);
    std::FILE* file = std::fopen(staged.string().c_str(), "wb");
    if (file == nullptr) {
        return FileProblem{target, "cannot create a file in its folder: " + lastError()};
    }
    const bool written =
        std::fwrite(content.data(), 1, content.size(), file) == content.size() && flushToDisk(file);
    const std::string writeError = written ? std::string() : lastError();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const std::string reason = written ? lastError() : writeError;
        std::error_code ignored;
        std::filesystem::remove(staged, ignored);
        return FileProblem{target, "cannot write: " + reason};
    }

    // Keep the permissions the user gave the old file.
    std::error_code ec;
    const auto oldStatus = std::filesystem::status(target, ec);
    if (!ec && std::filesystem::is_regular_file(oldStatus)) {
        std::filesystem::permissions(staged, oldStatus.permissions(), ec);
    }

    std::filesystem::rename(staged, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(staged, ignored);
        return FileProblem{target, "cannot replace it: " + ec.message()};
    }
    return std::nullopt;
}

std::optional<FileProblem> createFolderOf(const std::filesystem::path& file) {
    const auto folder = file.parent_path();
    if (folder.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return FileProblem{file,
                           "cannot create its folder " + folder.string() + ": " + ec.message()};
    }
    return std::nullopt;
}

}  // namespace ostrivane
