#include "persist/list_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory_table.h"
#include "persist/atomic_write.h"
#include "print_problem.h"
#include "temp_dir.h"

namespace ostrivane {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

const std::filesystem::path kDataDir = OSTRIVANE_TEST_DATA_DIR;

// The fields a content gives, up to the last one that is not empty.
std::vector<std::string> leadingFields(const ListFields& fields) {
    std::vector<std::string> leading(fields.begin(), fields.end());
    while (!leading.empty() && leading.back().empty()) {
        leading.pop_back();
    }
    return leading;
}

struct FieldCase {
    const char* label;
    std::string_view content;
    std::vector<std::string> fields;
};

class FieldRules : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldRules, ParseListFields) {
    EXPECT_EQ(leadingFields(parseListFields(GetParam().content)), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldRules,
    ::testing::Values(
        FieldCase{"CrLf", "CBL\r\ncbl.test\r\n", {"CBL", "cbl.test"}},
        FieldCase{"LfOnly", "CBL\ncbl.test\n", {"CBL", "cbl.test"}},
        FieldCase{"LoneCr", "CBL\rcbl.test", {"CBL", "cbl.test"}},
        FieldCase{"NoFinalLineEnd", "CBL\r\ncbl.test", {"CBL", "cbl.test"}},
        FieldCase{"CommaEndsField", "CBL,cbl.test\r\nnext\r\n", {"CBL", "cbl.test", "next"}},
        FieldCase{"CommaBeforeLineEnd", "a,\r\nb\r\n", {"a", "", "b"}},
        FieldCase{"EmptyLinesAreEmptyFields", "\r\n\r\nzone\r\n", {"", "", "zone"}},
        FieldCase{"BlanksKept", "  two blanks  \r\n zone \r\n", {"  two blanks  ", " zone "}},
        FieldCase{"QuotedComma", "\"Mine, too\"\r\nzone\r\n", {"Mine, too", "zone"}},
        FieldCase{"QuotedBlanksKept", "\" x \"\r\n", {" x "}},
        FieldCase{"QuoteRunsAcrossLines", "\"two\nlines\"\nzone\n", {"two\nlines", "zone"}},
        FieldCase{"TextAfterClosingQuoteDropped", "\"a\"junk,b\r\n", {"a", "b"}},
        FieldCase{"UnclosedQuoteEndsAtItsLine", "\"open\r\nzone\r\n", {"open", "zone"}},
        FieldCase{"QuoteInsideFieldKept", "say \"hi\"\r\n", {"say \"hi\""}},
        FieldCase{"ByteOrderMarkDropped",
                  "\xEF\xBB\xBF"
                  "CBL\r\n",
                  {"CBL"}},
        FieldCase{
            "Utf8BytesAsTheyStand", "Liste \xC3\xA9t\xC3\xA9\r\n", {"Liste \xC3\xA9t\xC3\xA9"}},
        FieldCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ListFile, FieldsAfterTheFortiethAreIgnored) {
    std::string content;
    for (int i = 0; i < 45; ++i) {
        content += "v" + std::to_string(i) + "\r\n";
    }
    const ListFields fields = parseListFields(content);
    EXPECT_EQ(fields.front(), "v0");
    EXPECT_EQ(fields.back(), "v39");
}

TEST(ListFile, SavingTheDefaultsWritesTheKnownFile) {
    MemoryTable table;
    loadDefaultBlacklists(table);
    EXPECT_EQ(formatListFile(table), readBytes(kDataDir / "default_sbllist.txt"));
}

TEST(ListFile, ReadsAFileEditedOnLinux) {
    MemoryTable table;
    ASSERT_EQ(loadListFile(table, kDataDir / "edited_sbllist_lf.txt"), std::nullopt);
    EXPECT_EQ(table.name(0), "Local list");
    EXPECT_EQ(table.zone(0), "bl.test");
    EXPECT_EQ(table.name(1), "Mine, too");
    EXPECT_EQ(table.zone(1), "  spaced.test ");
    EXPECT_EQ(table.name(2), "No zone");
    EXPECT_EQ(table.zone(2), "");
    // A short file leaves the rows it does not reach empty, not defaulted.
    for (int row = 3; row < kRowCount; ++row) {
        EXPECT_EQ(table.name(row), "") << row;
        EXPECT_EQ(table.zone(row), "") << row;
    }
}

struct RoundTripCase {
    const char* label;
    std::string_view written;
    std::string_view readBack;
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, SaveThenLoad) {
    MemoryTable table;
    loadDefaultBlacklists(table);
    table.setName(0, GetParam().written);
    table.setZone(7, GetParam().written);
    table.setName(19, GetParam().written);

    const std::string file = formatListFile(table);
    std::size_t lineEnds = 0;
    for (auto at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at + 2)) {
        ++lineEnds;
    }
    EXPECT_EQ(lineEnds, 40u);

    const ListFields fields = parseListFields(file);
    EXPECT_EQ(fields[0], GetParam().readBack);
    EXPECT_EQ(fields[15], GetParam().readBack);
    EXPECT_EQ(fields[38], GetParam().readBack);
    EXPECT_EQ(fields[1], "cbl.abuseat.org");
    EXPECT_EQ(fields[39], "");
}

INSTANTIATE_TEST_SUITE_P(
    Values, RoundTrip,
    ::testing::Values(RoundTripCase{"Plain", "dnsbl.example", "dnsbl.example"},
                      RoundTripCase{"Empty", "", ""},
                      RoundTripCase{"Blanks", "  both ends  ", "  both ends  "},
                      RoundTripCase{"Comma", "One, two", "One, two"},
                      RoundTripCase{"CommaAndBlanks", " a,b ", " a,b "},
                      RoundTripCase{"Markup", "AT&T <list>", "AT&T <list>"},
                      RoundTripCase{"CrLfBecomesOneBlank", "two\r\nlines", "two lines"},
                      RoundTripCase{"LfBecomesBlank", "two\nlines", "two lines"},
                      RoundTripCase{"CommaAndLineBreak", "a,\nb", "a, b"},
                      RoundTripCase{"InnerQuote", "say \"hi\"", "say \"hi\""},
                      RoundTripCase{"LeadingQuote", "\"Mine\"", "'Mine'"},
                      RoundTripCase{"UnclosedLeadingQuote", "\"Mine", "'Mine"},
                      RoundTripCase{"CommaAndQuote", "a, \"b\"", "a, 'b'"},
                      // The reader drops one mark at the start of the file, not the name's own.
                      RoundTripCase{"LeadingByteOrderMark", "\xEF\xBB\xBFMine",
                                    "\xEF\xBB\xBFMine"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ListFile, FileExists) {
    TempDir dir;
    writeBytes(dir / "empty.txt", "");
    writeBytes(dir / "one.txt", "x");
    std::filesystem::create_directory(dir / "folder");

    EXPECT_TRUE(FileExists(dir / "one.txt"));
    EXPECT_FALSE(FileExists(dir / "missing.txt"));
    EXPECT_FALSE(FileExists(dir / "empty.txt"));
    EXPECT_FALSE(FileExists(dir / "folder"));
    EXPECT_FALSE(FileExists(dir / "one.txt" / "below-a-file.txt"));
    EXPECT_FALSE(FileExists(""));
}

TEST(ListFile, LoadingAFolderReportsItAndLeavesTheTable) {
    TempDir dir;
    MemoryTable table;
    loadDefaultBlacklists(table);

    const auto problem = loadListFile(table, dir.path());
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->path, dir.path());
    EXPECT_FALSE(problem->reason.empty());
    EXPECT_EQ(table.name(0), "CBL");
}

TEST(ListFile, SaveWritesTheTable) {
    TempDir dir;
    MemoryTable table;
    table.setName(2, "Mine");
    table.setZone(2, "bl.test");
    ASSERT_EQ(saveListFile(table, dir / "sbllist.txt"), std::nullopt);

    MemoryTable reread;
    ASSERT_EQ(loadListFile(reread, dir / "sbllist.txt"), std::nullopt);
    EXPECT_EQ(rowOf(reread, 2), rowOf(table, 2));
    EXPECT_EQ(readBytes(dir / "sbllist.txt"), formatListFile(table));
}

#ifndef _WIN32
// A list shared by several copies through a link: saving one copy's list
// updates the shared file, and the link stays a link.
TEST(ListFile, SavingThroughALinkReplacesTheSharedFile) {
    TempDir dir;
    std::filesystem::create_directories(dir / "shared");
    writeBytes(dir / "shared" / "sbllist.txt", "Old\r\nold.test\r\n");
    std::filesystem::create_symlink("shared/sbllist.txt", dir / "sbllist.txt");

    MemoryTable table;
    table.setName(0, "New");
    table.setZone(0, "new.test");
    ASSERT_EQ(saveListFile(table, dir / "sbllist.txt"), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "sbllist.txt"));
    EXPECT_EQ(readBytes(dir / "shared" / "sbllist.txt"), formatListFile(table));
}
#endif

TEST(ListFile, FailedSaveKeepsTheOldFile) {
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    writeBytes(path, "Old\r\nold.test\r\n");
    // Where the new list would be staged stands a folder: the write fails
    // before the old file is touched.
    std::filesystem::create_directory(temporaryPathFor(path));

    MemoryTable table;
    loadDefaultBlacklists(table);
    const auto problem = saveListFile(table, path);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->path, path);
    EXPECT_EQ(readBytes(path), "Old\r\nold.test\r\n");
}

}  // namespace
}  // namespace ostrivane
