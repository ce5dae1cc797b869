#include "persist/atomic_write.h"

#include <gtest/gtest.h>

#include "print_problem.h"
#include "temp_dir.h"

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

TEST(AtomicWrite, KeepsThePermissionsOfTheOldFile) {
    TempDir dir;
    const auto path = dir / "file.txt";
    writeBytes(path, "old");
    const auto chosen = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, chosen);

    ASSERT_EQ(writeFileAtomically(path, "new"), std::nullopt);
    EXPECT_EQ(fs::status(path).permissions(), chosen);
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

}  // namespace
}  // namespace ostrivane
