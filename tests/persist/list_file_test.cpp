#include "persist/list_file.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "core/memory_table.h"
#include "persist/atomic_write.h"
#include "support/print_problem.h"
#include "support/temp_dir.h"
#include "text/utf8.h"

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
        FieldCase{"QuoteEndsAtItsLine", "\"two\nlines\"\nzone\n", {"two", "lines\"", "zone"}},
        FieldCase{"UnclosedQuoteSwallowsNoRows",
                  "\"open\r\nA\r\n\"x, y\"\r\nB\r\n",
                  {"open", "A", "x, y", "B"}},
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

struct EncodingCase {
    const char* label;
    std::string_view bytes;
    std::string_view firstName;  // UTF-8
    TextEncoding encoding;
};

class Encodings : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(Encodings, ReadListFile) {
    TempDir dir;
    writeBytes(dir / "sbllist.txt", GetParam().bytes);
    const auto read = readListFile(dir / "sbllist.txt");
    ASSERT_TRUE(std::holds_alternative<ListFileContent>(read));
    const auto& content = std::get<ListFileContent>(read);
    EXPECT_EQ(content.fields[0], GetParam().firstName);
    EXPECT_EQ(content.fields[1], "zone.test");
    EXPECT_EQ(content.encoding, GetParam().encoding);
    EXPECT_EQ(content.bytes, GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Encodings,
    ::testing::Values(EncodingCase{"Utf8", "Liste f\xC3\xBCr Spam\r\nzone.test\r\n",
                                   "Liste f\xC3\xBCr Spam", TextEncoding::Utf8},
                      EncodingCase{"Latin1", "Liste f\xFCr Spam\r\nzone.test\r\n",
                                   "Liste f\xC3\xBCr Spam", TextEncoding::Windows1252},
                      EncodingCase{"Windows1252Range", "\x80\x8A\x9F\r\nzone.test\r\n",
                                   "\xE2\x82\xAC\xC5\xA0\xC5\xB8", TextEncoding::Windows1252},
                      EncodingCase{"UndefinedBytesAsC1", "\x81\x9D\r\nzone.test\r\n",
                                   "\xC2\x81\xC2\x9D", TextEncoding::Windows1252},
                      EncodingCase{"ByteOrderMarkBeforeLatin1",
                                   "\xEF\xBB\xBF"
                                   "f\xFCr\r\nzone.test\r\n",
                                   "f\xC3\xBCr", TextEncoding::Windows1252},
                      EncodingCase{"OverlongIsNotUtf8", "\xC0\xAF\r\nzone.test\r\n",
                                   "\xC3\x80\xC2\xAF", TextEncoding::Windows1252},
                      EncodingCase{"SurrogateIsNotUtf8", "\xED\xA0\x80\r\nzone.test\r\n",
                                   "\xC3\xAD\xC2\xA0\xE2\x82\xAC", TextEncoding::Windows1252},
                      EncodingCase{"CutSequenceIsNotUtf8", "ab\xC3\r\nzone.test\r\n", "ab\xC3\x83",
                                   TextEncoding::Windows1252},
                      EncodingCase{"FourByteUtf8", "\xF0\x9F\x93\xA7\r\nzone.test\r\n",
                                   "\xF0\x9F\x93\xA7", TextEncoding::Utf8}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ListFile, EveryWindows1252ByteComesBack) {
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte) {
        bytes += static_cast<char>(byte);
    }
    const std::string text = utf8FromWindows1252(bytes);
    EXPECT_TRUE(isValidUtf8(text));
    EXPECT_EQ(windows1252FromUtf8(text), bytes);
}

TEST(ListFile, WrittenInTheEncodingItWasReadInWhereItFits) {
    MemoryTable table;
    table.setName(0, "Liste f\xC3\xBCr Spam \xE2\x82\xAC");
    table.setZone(0, "zone.test");
    const EncodedListFile latin = encodeListFile(table, TextEncoding::Windows1252);
    EXPECT_EQ(latin.encoding, TextEncoding::Windows1252);
    EXPECT_EQ(latin.bytes.substr(0, 29), "Liste f\xFCr Spam \x80\r\nzone.test\r\n");
    EXPECT_EQ(encodeListFile(table, TextEncoding::Utf8).bytes, formatListFile(table));

    // A character Windows-1252 has no byte for: the whole file goes to UTF-8.
    table.setName(1, "\xD0\xA1\xD0\xBF\xD0\xB0\xD0\xBC");
    const EncodedListFile mixed = encodeListFile(table, TextEncoding::Windows1252);
    EXPECT_EQ(mixed.encoding, TextEncoding::Utf8);
    EXPECT_EQ(mixed.bytes, formatListFile(table));
}

TEST(ListFile, TooLargeIsMeasuredNotRead) {
    TempDir dir;
    const auto path = dir / "sbllist.txt";
    writeBytes(path, "Mine\r\nbl.test\r\n");
    std::filesystem::resize_file(path, kListFileLimit);
    EXPECT_TRUE(std::holds_alternative<ListFileContent>(readListFile(path)));

    std::filesystem::resize_file(path, kListFileLimit + 1);
    MemoryTable table;
    loadDefaultBlacklists(table);
    const auto problem = loadListFile(table, path);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->message(),
              path.string() + ": List file too large (1048577 bytes, at most 1 MiB)");
    EXPECT_EQ(table.name(0), "CBL");
}

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

TEST(ListFile, IsNonEmptyFile) {
    TempDir dir;
    writeBytes(dir / "empty.txt", "");
    writeBytes(dir / "one.txt", "x");
    std::filesystem::create_directory(dir / "folder");

    EXPECT_TRUE(isNonEmptyFile(dir / "one.txt"));
    EXPECT_FALSE(isNonEmptyFile(dir / "missing.txt"));
    EXPECT_FALSE(isNonEmptyFile(dir / "empty.txt"));
    EXPECT_FALSE(isNonEmptyFile(dir / "folder"));
    EXPECT_FALSE(isNonEmptyFile(dir / "one.txt" / "below-a-file.txt"));
    EXPECT_FALSE(isNonEmptyFile(""));
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
