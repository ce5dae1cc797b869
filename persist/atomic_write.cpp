#include "persist/atomic_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <variant>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

std::string errorText(int error) {
    return std::generic_category().message(error);
}

// The process number in a temporary's name "<file>.<pid>.tmp", when `name`
// is one of `file`'s temporaries.
std::optional<long> temporaryOwner(const std::string& name, const std::string& file) {
    const std::string suffix = ".tmp";
    if (name.size() <= file.size() + 1 + suffix.size() || !name.starts_with(file + ".") ||
        !name.ends_with(suffix)) {
        return std::nullopt;
    }
    const std::string digits =
        name.substr(file.size() + 1, name.size() - file.size() - 1 - suffix.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stol(digits);
}

bool processIsGone(long pid) {
#ifdef _WIN32
    (void)pid;
    return false;  // no cheap check without more of the platform's API
#else
    return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
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

void removeStaleTemporaries(const std::filesystem::path& target) {
    const auto folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string file = target.filename().string();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const auto owner = temporaryOwner(it->path().filename().string(), file);
        if (owner && *owner != processId() && processIsGone(*owner)) {
            std::error_code ignored;
            std::filesystem::remove(it->path(), ignored);
        }
    }
}

#ifdef _WIN32

std::optional<FileProblem> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view content, Staging) {
    const std::filesystem::path staged = temporaryPathFor(target);
    std::FILE* file = std::fopen(staged.string().c_str(), "wb");
    if (file == nullptr) {
        return FileProblem{target, "cannot create a file in its folder: " + errorText(errno)};
    }
    bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size() &&
                   std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
    const std::string writeError = written ? std::string() : errorText(errno);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const std::string reason = written ? errorText(errno) : writeError;
        std::error_code ignored;
        std::filesystem::remove(staged, ignored);
        return FileProblem{target, "cannot write: " + reason};
    }
    std::error_code ec;
    std::filesystem::rename(staged, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(staged, ignored);
        return FileProblem{target, "cannot replace it: " + ec.message()};
    }
    return std::nullopt;
}

#else

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    void reset(int fd) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now, so that a failed close (a full disk on NFS) is seen: 0 or errno.
    int close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

  private:
    int m_fd;
};

// 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// A reader that goes away must give a write error, not end the process.
class SigpipeIgnored {
  public:
    SigpipeIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &m_old);
    }
    ~SigpipeIgnored() { sigaction(SIGPIPE, &m_old, nullptr); }
    SigpipeIgnored(const SigpipeIgnored&) = delete;
    SigpipeIgnored& operator=(const SigpipeIgnored&) = delete;

  private:
    struct sigaction m_old {};
};

int connectToSocket(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (name.size() >= sizeof(address.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// A device, FIFO or socket is the destination itself: it cannot be replaced,
// only written to. A FIFO nobody reads is an error rather than a wait without
// end.
std::optional<FileProblem> writeDirectly(const std::filesystem::path& target,
                                         std::string_view content, bool isSocket) {
    const SigpipeIgnored sigpipeIgnored;
    Descriptor fd(
        isSocket ? connectToSocket(target)
                 : ::open(target.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        const int error = errno;
        return FileProblem{target, error == ENXIO ? std::string("cannot open it: nothing reads it")
                                                  : "cannot open it: " + errorText(error)};
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    if (const int error = writeAll(fd.get(), content)) {
        return FileProblem{target, "cannot write: " + errorText(error)};
    }
    if (const int error = fd.close()) {
        return FileProblem{target, "cannot write: " + errorText(error)};
    }
    return std::nullopt;
}

// Where the content must go: the file to replace (a symbolic link's final
// target, maybe not there yet), or a destination to write through directly.
struct ReplaceFile {
    std::filesystem::path file;
};
struct WriteThrough {
    bool isSocket = false;
};
using Destination = std::variant<ReplaceFile, WriteThrough, FileProblem>;

constexpr int kMaxLinkDepth = 40;  // as the kernel allows

Destination destinationOf(const std::filesystem::path& target) {
    struct stat followed {};
    if (::stat(target.c_str(), &followed) == 0) {
        if (S_ISDIR(followed.st_mode)) {
            return FileProblem{target, "it is a folder, not a file"};
        }
        if (!S_ISREG(followed.st_mode)) {
            return WriteThrough{S_ISSOCK(followed.st_mode)};
        }
    }
    std::filesystem::path file = target;
    for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
        struct stat own {};
        if (::lstat(file.c_str(), &own) != 0) {
            if (errno == ENOENT) {
                return ReplaceFile{file};  // a new file, or a dangling link's target
            }
            return FileProblem{file, "cannot examine it: " + errorText(errno)};
        }
        if (!S_ISLNK(own.st_mode)) {
            return ReplaceFile{file};
        }
        // /proc links name open files (/dev/stdout is one), not places in a
        // folder where a file may be replaced.
        if (file.string().starts_with("/proc/")) {
            return WriteThrough{};
        }
        std::error_code ec;
        const auto link = std::filesystem::read_symlink(file, ec);
        if (ec) {
            return FileProblem{file, "cannot read the link: " + ec.message()};
        }
        file = link.is_absolute() ? link : file.parent_path() / link;
    }
    return FileProblem{target, "cannot replace it: " + errorText(ELOOP)};
}

// Gives the new file the old one's permissions, owner and group. Only root may
// give a file away; a user may still keep a group of theirs.
void keepModeAndOwner(int fd, const struct stat& old) {
    ::fchmod(fd, old.st_mode & 07777);
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
}

void syncFolder(const std::filesystem::path& folder) {
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

// Opens the file the content is staged in: an unnamed one in the folder where
// the system has them (nothing half-written ever shows there), else one named
// `staged`. Sets `named` to which it is; 0, or the errno of the failure.
int openStaging(Descriptor& fd, bool& named, const std::filesystem::path& folder,
                const std::filesystem::path& staged, Staging staging) {
    named = true;
#ifdef O_TMPFILE
    if (staging == Staging::Unnamed) {
        fd.reset(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        named = !fd.valid();
    }
#else
    (void)folder;
    (void)staging;
#endif
    if (named) {
        fd.reset(::open(staged.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
        if (!fd.valid() && errno == EEXIST) {
            // Named after this process, so left by an earlier one with our number.
            ::unlink(staged.c_str());
            fd.reset(::open(staged.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
        }
    }
    return fd.valid() ? 0 : errno;
}

std::optional<FileProblem> replaceFile(const std::filesystem::path& target,
                                       const std::filesystem::path& file, std::string_view content,
                                       Staging staging) {
    const auto folder = file.has_parent_path() ? file.parent_path() : ".";
    const auto staged = temporaryPathFor(file);
    struct stat old {};
    const bool replacing = ::stat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    bool named = true;
    Descriptor fd(-1);
    if (const int openError = openStaging(fd, named, folder, staged, staging)) {
        return FileProblem{target, "cannot create a file in its folder: " + errorText(openError)};
    }
    const auto discard = [&] {
        if (named) {
            ::unlink(staged.c_str());
        }
    };

    // The data must be on disk before the rename makes it the file, or a crash
    // right after the rename could leave an empty file where the old one was.
    int error = writeAll(fd.get(), content);
    if (error == 0 && ::fsync(fd.get()) != 0) {
        error = errno;
    }
    if (error != 0) {
        discard();
        return FileProblem{target, "cannot write: " + errorText(error)};
    }
    if (replacing) {
        keepModeAndOwner(fd.get(), old);
    }
    if (!named) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
        ::unlink(staged.c_str());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, staged.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            // No /proc to give the file a name through: stage it again, named.
            return replaceFile(target, file, content, Staging::Named);
        }
        named = true;
    }
    if (const int closeError = fd.close()) {
        discard();
        return FileProblem{target, "cannot write: " + errorText(closeError)};
    }
    if (::rename(staged.c_str(), file.c_str()) != 0) {
        error = errno;
        discard();
        return FileProblem{target, "cannot replace it: " + errorText(error)};
    }
    syncFolder(folder);
    return std::nullopt;
}

}  // namespace

std::optional<FileProblem> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view content, Staging staging) {
    const Destination destination = destinationOf(target);
    if (const auto* problem = std::get_if<FileProblem>(&destination)) {
        return *problem;
    }
    if (const auto* through = std::get_if<WriteThrough>(&destination)) {
        return writeDirectly(target, content, through->isSocket);
    }
    const auto& file = std::get<ReplaceFile>(destination).file;
    auto problem = replaceFile(target, file, content, staging);
    removeStaleTemporaries(file);
    return problem;
}

#endif

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
