#include "persist/atomic_write.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "support/print_problem.h"
#include "support/temp_dir.h"

namespace ostrivane {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;
namespace fs = std::filesystem;

TEST(AtomicWrite, ReplacesTheFileAndLeavesNothingBeside) {
    TempDir dir;
    const auto path = dir / "file.txt";
    writeBytes(path, "old content that is longer");

    ASSERT_EQ(writeFileAtomically(path, "new"), std::nullopt);
    EXPECT_EQ(readBytes(path), "new");
    EXPECT_FALSE(fs::exists(temporaryPathFor(path)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AtomicWrite, KeepsThePermissionsOfTheOldFileWhicheverWayItIsStaged) {
    for (const auto staging : {Staging::Unnamed, Staging::Named}) {
        TempDir dir;
        const auto path = dir / "file.txt";
        writeBytes(path, "old");
        const auto chosen = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        fs::permissions(path, chosen);

        ASSERT_EQ(writeFileAtomically(path, "new", staging), std::nullopt);
        EXPECT_EQ(readBytes(path), "new");
        EXPECT_EQ(fs::status(path).permissions(), chosen);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
}

TEST(AtomicWrite, AFolderAtTheTargetIsReportedAndNothingIsLeftBehind) {
    TempDir dir;
    const auto path = dir / "target";
    fs::create_directory(path);

    const auto problem = writeFileAtomically(path, "content");
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->path, path);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_FALSE(fs::exists(temporaryPathFor(path)));
}

TEST(AtomicWrite, AMissingFolderIsReported) {
    TempDir dir;
    const auto problem = writeFileAtomically(dir / "missing" / "file.txt", "content");
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->reason.find("cannot create"), std::string::npos) << problem->reason;
}

#ifndef _WIN32

// A published page is often a link into a web folder: the page must change,
// the link must stay, and the temporary belongs beside the page.
TEST(AtomicWrite, ReplacesTheFileALinkEndsAtAndKeepsTheLinks) {
    TempDir dir;
    fs::create_directories(dir / "web" / "site");
    writeBytes(dir / "web" / "site" / "page.html", "old page");
    fs::create_directories(dir / "links");
    fs::create_symlink("../web/site/page.html", dir / "links" / "second");  // relative
    fs::create_symlink(dir / "links" / "second", dir / "report.html");      // absolute, 2 levels

    ASSERT_EQ(writeFileAtomically(dir / "report.html", "new page"), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(dir / "report.html"));
    EXPECT_TRUE(fs::is_symlink(dir / "links" / "second"));
    EXPECT_EQ(readBytes(dir / "web" / "site" / "page.html"), "new page");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "web" / "site"), fs::directory_iterator()),
              1);
}

TEST(AtomicWrite, ADanglingLinkGetsItsTargetCreated) {
    TempDir dir;
    fs::create_symlink("target.html", dir / "report.html");
    ASSERT_EQ(writeFileAtomically(dir / "report.html", "page"), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(dir / "report.html"));
    EXPECT_EQ(readBytes(dir / "target.html"), "page");
}

TEST(AtomicWrite, ALinkLoopIsReported) {
    TempDir dir;
    fs::create_symlink("b", dir / "a");
    fs::create_symlink("a", dir / "b");
    const auto problem = writeFileAtomically(dir / "a", "page");
    ASSERT_TRUE(problem.has_value());
    EXPECT_TRUE(fs::is_symlink(dir / "a"));
    EXPECT_TRUE(fs::is_symlink(dir / "b"));
}

// Devices are written to, never replaced by a regular file. The devices are
// made for the test: run as root, a regression would otherwise replace the
// machine's own /dev/null.
TEST(AtomicWrite, WritesIntoDevices) {
    TempDir dir;
    const auto null = dir / "null";
    const auto full = dir / "full";
    if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "cannot make device nodes here";
    }
    if (const int fd = open(null.c_str(), O_WRONLY); fd < 0) {
        GTEST_SKIP() << "devices cannot be opened here (a nodev mount)";
    } else {
        close(fd);
    }
    ASSERT_EQ(writeFileAtomically(null, "page"), std::nullopt);
    EXPECT_TRUE(fs::is_character_file(null));

    const auto problem = writeFileAtomically(full, "page");
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->reason, "cannot write: No space left on device");
    EXPECT_TRUE(fs::is_character_file(full));
}

TEST(AtomicWrite, WritesIntoFifos) {
    TempDir dir;
    const auto fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto nobodyReads = writeFileAtomically(fifo, "page");
    ASSERT_TRUE(nobodyReads.has_value());
    EXPECT_EQ(nobodyReads->reason, "cannot open it: nothing reads it");

    std::string received;
    std::thread reader([&] { received = readBytes(fifo); });
    std::optional<FileProblem> problem = FileProblem{};
    for (int attempt = 0; attempt < 500 && problem; ++attempt) {  // until the reader opened it
        problem = writeFileAtomically(fifo, std::string(100000, 'x'));
        if (problem) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    reader.join();
    EXPECT_EQ(problem, std::nullopt);
    EXPECT_EQ(received.size(), 100000u);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(AtomicWrite, WritesIntoASocketThatListens) {
    TempDir dir;
    const auto path = dir / "socket";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 1), 0);

    std::string received;
    std::thread reader([&] {
        const int connection = accept(listener, nullptr, nullptr);
        char buffer[4096];
        for (ssize_t n; (n = read(connection, buffer, sizeof(buffer))) > 0;) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
        close(connection);
    });
    EXPECT_EQ(writeFileAtomically(path, "page"), std::nullopt);
    reader.join();
    close(listener);
    EXPECT_EQ(received, "page");
    EXPECT_TRUE(fs::is_socket(path));
}

// Only root can give a file away, so only root can see that the owner stays.
TEST(AtomicWrite, KeepsTheOwnerOfTheOldFileWhenRunAsRoot) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    TempDir dir;
    const auto path = dir / "report.html";
    writeBytes(path, "old");
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    ASSERT_EQ(writeFileAtomically(path, "new"), std::nullopt);
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, 65534u);
    EXPECT_EQ(after.st_gid, 65534u);
}

pid_t endedProcess() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

TEST(AtomicWrite, RemovesTheTemporariesOfEndedRunsOnly) {
    TempDir dir;
    const auto path = dir / "report.html";
    const auto named = [&](long pid) {
        return dir / ("report.html." + std::to_string(pid) + ".tmp");
    };
    const auto stale = named(endedProcess());
    const auto running = named(getppid());
    writeBytes(stale, "left by a killed run");
    writeBytes(running, "being written");
    writeBytes(dir / "report.html.abc.tmp", "not ours");
    writeBytes(dir / "other.html.1.tmp", "not ours");

    ASSERT_EQ(writeFileAtomically(path, "page"), std::nullopt);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running));
    EXPECT_TRUE(fs::exists(dir / "report.html.abc.tmp"));
    EXPECT_TRUE(fs::exists(dir / "other.html.1.tmp"));
}

// Runs killed at random moments while writing a large file: the old file is
// whole after each, and after the next write nothing but the file is left.
TEST(AtomicWrite, AKilledWriteLeavesTheOldFileAndNoTemporary) {
    for (const auto staging : {Staging::Unnamed, Staging::Named}) {
        TempDir dir;
        const auto path = dir / "report.html";
        const std::string old(1 << 20, 'o');
        writeBytes(path, old);
        const std::string large(16 << 20, 'n');
        for (int trial = 0; trial < 8; ++trial) {
            const pid_t child = fork();
            if (child == 0) {
                for (;;) {
                    writeFileAtomically(path, large, staging);
                    writeFileAtomically(path, old, staging);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + 15 * trial));
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            const auto size = fs::file_size(path);
            EXPECT_TRUE(size == old.size() || size == large.size()) << size;
        }
        ASSERT_EQ(writeFileAtomically(path, "final", staging), std::nullopt);
        EXPECT_EQ(readBytes(path), "final");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
}

#endif

}  // namespace
}  // namespace ostrivane
