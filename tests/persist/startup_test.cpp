#include "persist/startup.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/memory_table.h"
#include "persist/atomic_write.h"
#include "persist/list_file.h"
#include "persist/user_folders.h"
#include "support/print_problem.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ostrivane {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// A table as a lookup leaves it, so start-up has something to clear.
MemoryTable usedTable() {
    MemoryTable table;
    for (int row = 0; row < kRowCount; ++row) {
        table.setName(row, "old name");
        table.setZone(row, "old.zone");
        table.setResult(row, "Listed: 127.0.0.2");
        applyHighlight(table, row, RowHighlight::Listed);
    }
    return table;
}

bool hasDefaults(const BlacklistTable& table) {
    for (int row = 0; row < kRowCount; ++row) {
        const auto& defaults = kDefaultBlacklists[static_cast<std::size_t>(row)];
        if (table.name(row) != defaults.name || table.zone(row) != defaults.zone) {
            return false;
        }
    }
    return true;
}

TEST(StartUp, ReadsTheListFileAndClearsTheRest) {
    TempDir dir;
    writeBytes(dir / "sbllist.txt", "Mine\r\nbl.test\r\n");
    MemoryTable table = usedTable();

    ListFileState state = startUp(table, dir / "sbllist.txt");
    EXPECT_EQ(state.path, dir / "sbllist.txt");
    EXPECT_EQ(state.loadProblem, std::nullopt);
    EXPECT_TRUE(state.mayOverwrite());
    EXPECT_EQ(rowOf(table, 0), (BlacklistRow{"Mine", "bl.test", "", kWhite, kBlack}));
    for (int row = 1; row < kRowCount; ++row) {
        EXPECT_EQ(rowOf(table, row), BlacklistRow{}) << row;
    }
}

TEST(StartUp, MissingOrEmptyFileGivesTheDefaults) {
    TempDir dir;
    writeBytes(dir / "empty.txt", "");
    for (const auto& path : {dir / "missing.txt", dir / "empty.txt"}) {
        MemoryTable table = usedTable();
        ListFileState state = startUp(table, path);
        EXPECT_TRUE(hasDefaults(table)) << path;
        EXPECT_TRUE(state.mayOverwrite()) << path;
        EXPECT_EQ(rowOf(table, 19), BlacklistRow{}) << path;
        EXPECT_EQ(table.result(0), "") << path;
        EXPECT_EQ(table.background(0), kWhite) << path;
    }
}

TEST(StartUp, AFolderAtTheListPathIsKeptAndReported) {
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    std::filesystem::create_directory(path);
    MemoryTable table;

    ListFileState state = startUp(table, path);
    EXPECT_TRUE(hasDefaults(table));
    ASSERT_TRUE(state.loadProblem.has_value());
    EXPECT_EQ(state.loadProblem->path, path);
    EXPECT_FALSE(state.mayOverwrite());

    EXPECT_EQ(saveAtClose(table, state), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

// The path comes from the user's folders and may hold anything; the warning
// goes to a terminal.
TEST(StartUp, TheWarningShowsControlCharactersOfThePathAsEscapes) {
    TempDir dir;
    const auto folder = dir / "list\x1b]0;title\x07";
    std::filesystem::create_directory(folder);
    const auto path = folder / "sbllist.txt";
    std::filesystem::create_directory(path);
    std::ostringstream errors;

    startUpWarningOfProblems(path, errors);
    EXPECT_NE(errors.str().find("list\\x1b]0;title\\x07"), std::string::npos) << errors.str();
    EXPECT_EQ(errors.str().find('\x1b'), std::string::npos);
}

#ifndef _WIN32
TEST(StartUp, AnUnreadableFileIsNotOverwrittenAtClose) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root from reading";
    }
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    writeBytes(path, "Mine\r\nbl.test\r\n");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    MemoryTable table;

    ListFileState state = startUp(table, path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    EXPECT_TRUE(hasDefaults(table));
    ASSERT_TRUE(state.loadProblem.has_value());
    EXPECT_EQ(saveAtClose(table, state), std::nullopt);
    EXPECT_EQ(readBytes(path), "Mine\r\nbl.test\r\n");
}
#endif

TEST(SaveAtClose, WritesTheListEvenWhenStartedFromDefaults) {
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    MemoryTable table;
    ListFileState state = startUp(table, path);
    table.setName(16, "Added");
    table.setZone(16, "added.test");

    ASSERT_EQ(saveAtClose(table, state), std::nullopt);
    MemoryTable reread;
    startUp(reread, path);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(rowOf(reread, row), rowOf(table, row)) << row;
    }
}

TEST(SaveAtClose, FailureIsReportedAndTheOldFileStays) {
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    writeBytes(path, "Mine\r\nbl.test\r\n");
    MemoryTable table;
    ListFileState state = startUp(table, path);
    table.setName(0, "Changed");
    std::filesystem::create_directory(temporaryPathFor(path));

    const auto problem = saveAtClose(table, state);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->path, path);
    EXPECT_EQ(readBytes(path), "Mine\r\nbl.test\r\n");
}

// What closing does to the list file: the bytes on disk before and after, with
// and without edits in the table, and with the file changed behind its back.
struct CloseCase {
    const char* label;
    std::optional<std::string_view> atStart;    // nothing: no file
    bool edited;                                // row 1 renamed in the table
    std::optional<std::string_view> meanwhile;  // written to the file before closing
    CloseStep step;
    std::optional<std::string_view> atEnd;  // after saveAtClose; nothing: no file
};

constexpr std::string_view kLatin1List = "Liste f\xFCr Spam\nbl.test\n";
constexpr std::string_view kHandEdited = "Hand\r\nhand.test\r\n";

class ClosingRules : public ::testing::TestWithParam<CloseCase> {};

TEST_P(ClosingRules, SaveAtClose) {
    const CloseCase& c = GetParam();
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    if (c.atStart) {
        writeBytes(path, *c.atStart);
    }
    MemoryTable table;
    ListFileState state = startUp(table, path);
    if (c.edited) {
        table.setName(1, "Renamed");
    }
    if (c.meanwhile) {
        writeBytes(path, *c.meanwhile);
    }
    EXPECT_EQ(closeStepFor(table, state), c.step);
    EXPECT_EQ(saveAtClose(table, state), std::nullopt);
    if (c.atEnd) {
        EXPECT_EQ(readBytes(path), *c.atEnd);
    } else {
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

const std::string kDefaultsFile =
    readBytes(std::filesystem::path(OSTRIVANE_TEST_DATA_DIR) / "default_sbllist.txt");
const std::string kLatin1Renamed = [] {
    std::string bytes = "Liste f\xFCr Spam\r\nbl.test\r\nRenamed\r\n";
    for (int line = 3; line < kListFieldCount; ++line) {
        bytes += "\r\n";
    }
    return bytes;
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, ClosingRules,
    ::testing::Values(CloseCase{"UneditedStaysByteForByte", kLatin1List, false, std::nullopt,
                                CloseStep::KeepFile, kLatin1List},
                      CloseCase{"EditedIsSavedInItsEncoding", kLatin1List, true, std::nullopt,
                                CloseStep::Save, kLatin1Renamed},
                      CloseCase{"HandEditKeptWhenNothingWasEdited", kLatin1List, false, kHandEdited,
                                CloseStep::KeepFile, kHandEdited},
                      CloseCase{"BothEditedAsks", kLatin1List, true, kHandEdited,
                                CloseStep::AskBeforeOverwriting, kHandEdited},
                      CloseCase{"MissingIsCreated", std::nullopt, false, std::nullopt,
                                CloseStep::Save, kDefaultsFile},
                      CloseCase{"EmptyIsFilled", "", false, std::nullopt, CloseStep::Save,
                                kDefaultsFile},
                      CloseCase{"CreatedMeanwhileIsKept", std::nullopt, false, kHandEdited,
                                CloseStep::KeepFile, kHandEdited},
                      CloseCase{"CreatedMeanwhileAndEditedAsks", std::nullopt, true, kHandEdited,
                                CloseStep::AskBeforeOverwriting, kHandEdited}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SaveAtClose, EditsAfterALoadProblemAreNeverWritten) {
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    writeBytes(path, "Mine\r\nbl.test\r\n");
    std::filesystem::resize_file(path, kListFileLimit + 1);
    MemoryTable table;
    ListFileState state = startUp(table, path);
    ASSERT_TRUE(state.loadProblem.has_value());
    EXPECT_TRUE(hasDefaults(table));
    EXPECT_EQ(closeStepFor(table, state), CloseStep::KeepFile);

    table.setZone(3, "mine.test");
    EXPECT_EQ(closeStepFor(table, state), CloseStep::AskBeforeDropping);
    EXPECT_EQ(saveAtClose(table, state), std::nullopt);
    EXPECT_EQ(std::filesystem::file_size(path), kListFileLimit + 1);
}

TEST(ListFilePath, IsBesideTheProgram) {
    const auto path = listFilePath();
    EXPECT_EQ(path.filename(), "sbllist.txt");
    EXPECT_TRUE(std::filesystem::exists(path.parent_path() / "persist_tests") ||
                std::filesystem::exists(path.parent_path() / "persist_tests.exe"))
        << path;
}

TEST(ListFilePath, BesideAWritableProgramFolder) {
    TempDir dir;
    EXPECT_EQ(listFilePathFor(dir.path(), "/config"), dir / "sbllist.txt");
}

TEST(ListFilePath, InTheConfigFolderWhenTheProgramFolderCannotTakeIt) {
    // A folder that does not exist cannot be written, whoever runs the test.
    EXPECT_EQ(listFilePathFor("/nonexistent/ostrivane/bin", "/home/u/.config"),
              std::filesystem::path("/home/u/.config/ostrivane/sbllist.txt"));
}

// An installed program (PREFIX/bin with PREFIX/lib/ostrivane or its man page)
// keeps the list in the configuration folder, even where it could write its
// own folder (root and /usr/bin), unless a list already lies beside it.
TEST(ListFilePath, InstalledProgramUsesTheConfigFolder) {
    TempDir dir;
    const auto config = dir / "config";
    const auto withModule = dir / "usr";
    std::filesystem::create_directories(withModule / "bin");
    std::filesystem::create_directories(withModule / "lib" / "ostrivane");
    const auto withManPage = dir / "usr-local";
    std::filesystem::create_directories(withManPage / "bin");
    std::filesystem::create_directories(withManPage / "share" / "man" / "man1");
    writeBytes(withManPage / "share" / "man" / "man1" / "ostrivane.1", ".TH");
    const auto notInstalled = dir / "build";
    std::filesystem::create_directories(notInstalled / "bin");

    const auto inConfig = config / "ostrivane" / "sbllist.txt";
    EXPECT_EQ(listFilePathFor(withModule / "bin", config), inConfig);
    EXPECT_EQ(listFilePathFor(withManPage / "bin", config), inConfig);
    EXPECT_EQ(listFilePathFor(notInstalled / "bin", config), notInstalled / "bin" / "sbllist.txt");

    writeBytes(withModule / "bin" / "sbllist.txt", "Mine\r\nbl.test\r\n");
    EXPECT_EQ(listFilePathFor(withModule / "bin", config), withModule / "bin" / "sbllist.txt");
}

TEST(ListFilePath, ConfigFolderFollowsXdgWhenAbsolute) {
    EXPECT_EQ(configFolderFor("/xdg", "/home/u"), std::filesystem::path("/xdg"));
    EXPECT_EQ(configFolderFor("relative", "/home/u"), std::filesystem::path("/home/u/.config"));
    EXPECT_EQ(configFolderFor(std::nullopt, "/home/u"), std::filesystem::path("/home/u/.config"));
}

TEST(SaveAtClose, CreatesTheConfigFolderOfAFirstSave) {
    TempDir dir;
    MemoryTable table;
    const auto path = dir / "config" / "ostrivane" / "sbllist.txt";
    ListFileState state = startUp(table, path);
    EXPECT_EQ(saveAtClose(table, state), std::nullopt);
    EXPECT_EQ(readBytes(path), formatListFile(table));
}

}  // namespace
}  // namespace ostrivane
