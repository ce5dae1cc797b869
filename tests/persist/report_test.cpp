#include "persist/report.h"

#include <gtest/gtest.h>

#include "core/memory_table.h"
#include "persist/atomic_write.h"
#include "support/print_problem.h"
#include "support/temp_dir.h"
#include "text/html_escape.h"

namespace ostrivane {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

std::string emptyRows(int count) {
    std::string rows;
    for (int i = 0; i < count; ++i) {
        rows += "<tr><td>\r\n</td><td>\r\n\r\n</td><td></td></tr>\r\n";
    }
    return rows;
}

TEST(Report, ExactBytesForASmallTable) {
    MemoryTable table;
    table.setName(0, "CBL");
    table.setResult(0, "Listed: 127.0.0.2");
    table.setName(1, "Mine");
    table.setResult(1, "Not Found");
    table.setResult(2, "Not Found");  // a row with a zone but no name

    const std::string expected =
        "<html>\r\n"
        "Server: mail.example (192.0.2.1)<p>\r\n"
        "\r\n"
        "<table>\r\n"
        "<tr><th>Blacklist</th><th>Status</th><th>Information URL</th></tr>\r\n"
        "<tr><td>\r\n"
        "CBL</td><td>\r\n"
        "Listed: 127.0.0.2\r\n"
        "</td><td><a href=\"https://cbl.abuseat.org/\">https://cbl.abuseat.org/</a></td></tr>\r\n"
        "<tr><td>\r\n"
        "Mine</td><td>\r\n"
        "Not Found\r\n"
        "</td><td><a href=\"https://www.google.com/search?q=Mine\">"
        "https://www.google.com/search?q=Mine</a></td></tr>\r\n"
        "<tr><td>\r\n"
        "</td><td>\r\n"
        "Not Found\r\n"
        "</td><td></td></tr>\r\n" +
        emptyRows(17) + "</table></html>\r\n";
    EXPECT_EQ(formatReport(table, "mail.example (192.0.2.1)"), expected);
}

TEST(Report, EveryValueIsEscaped) {
    MemoryTable table;
    table.setName(0, "AT&T <b>\"x\"");
    table.setResult(0, "<script>");

    const std::string report = formatReport(table, "<host> & \"co\"");
    EXPECT_NE(report.find("Server: &lt;host&gt; &amp; &quot;co&quot;<p>\r\n"), std::string::npos);
    EXPECT_NE(report.find("\r\nAT&amp;T &lt;b&gt;&quot;x&quot;</td><td>\r\n&lt;script&gt;\r\n"),
              std::string::npos);
    // The search link carries the name percent-encoded: no raw & or quote
    // can end the attribute or start another parameter.
    EXPECT_NE(report.find("<a href=\"https://www.google.com/search?q=AT%26T%20%3Cb%3E%22x%22\">"),
              std::string::npos);
    EXPECT_EQ(report.find("<b>"), std::string::npos);
    EXPECT_EQ(report.find("<script>"), std::string::npos);
}

TEST(Report, HtmlEscape) {
    EXPECT_EQ(htmlEscape(""), "");
    EXPECT_EQ(htmlEscape("plain text 'single'"), "plain text &#39;single&#39;");
    EXPECT_EQ(htmlEscape("&amp;"), "&amp;amp;");
    EXPECT_EQ(htmlEscape("<>\"&"), "&lt;&gt;&quot;&amp;");
}

TEST(ReportPath, OverrideHomeAndDefault) {
    EXPECT_EQ(reportPathFor("/srv/www/r.html", "/home/u"),
              std::filesystem::path("/srv/www/r.html"));
#ifdef _WIN32
    EXPECT_EQ(reportPathFor(std::nullopt, std::nullopt),
              std::filesystem::path("d:\\bl_mon\\report.html"));
#else
    EXPECT_EQ(reportPathFor("", "/home/u"), std::filesystem::path("/home/u/bl_mon/report.html"));
    EXPECT_EQ(reportPathFor(std::nullopt, "/home/u"),
              std::filesystem::path("/home/u/bl_mon/report.html"));
#endif
}

TEST(WriteReport, CreatesMissingFoldersAndReplacesTheOldReport) {
    TempDir dir;
    const auto path = dir / "bl_mon" / "daily" / "report.html";
    MemoryTable table;

    ASSERT_EQ(writeReport(table, "first", path), std::nullopt);
    ASSERT_EQ(writeReport(table, "second", path), std::nullopt);
    EXPECT_EQ(readBytes(path), formatReport(table, "second"));
    EXPECT_FALSE(std::filesystem::exists(temporaryPathFor(path)));
}

TEST(WriteReport, AFileWhereTheFolderShouldBeIsReported) {
    TempDir dir;
    writeBytes(dir / "bl_mon", "a file, not a folder");
    const auto path = dir / "bl_mon" / "report.html";

    const auto problem = writeReport(MemoryTable{}, "host", path);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->path, path);
    EXPECT_EQ(readBytes(dir / "bl_mon"), "a file, not a folder");
}

}  // namespace
}  // namespace ostrivane
