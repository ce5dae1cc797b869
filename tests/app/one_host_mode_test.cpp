#include "app/one_host_mode.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "app/exit_status.h"
#include "persist/report.h"
#include "support/scripted_resolver.h"
#include "support/temp_dir.h"

namespace ostrivane {
namespace {

using testing::readBytes;
using testing::ScriptedResolver;
using testing::TempDir;
using testing::writeBytes;

// Row 0 queries bl.test, row 3 other.test; the rest are empty rows.
constexpr std::string_view kList =
    "Test List\r\nbl.test\r\n\r\n\r\n\r\n\r\n\r\n\r\nOther\r\nother.test\r\n";

class Unattended : public ::testing::Test {
  protected:
    Unattended() {
        writeBytes(listFile(), kList);
        m_points->workingList("bl.test").workingList("other.test");
        for (const auto& list : kDefaultBlacklists) {
            m_points->workingList(std::string(list.zone));
        }
    }

    std::filesystem::path listFile() const { return m_dir / "sbllist.txt"; }
    std::filesystem::path report() const { return m_dir / "bl_mon" / "report.html"; }

    int run(std::string host) {
        const TestPointAsker asker(m_points);
        return runUnattended({std::move(host), listFile(), report()}, m_resolver, asker, m_errors);
    }

    TempDir m_dir;
    ScriptedResolver m_resolver;
    std::shared_ptr<ScriptedResolver> m_points = std::make_shared<ScriptedResolver>();
    std::ostringstream m_errors;
};

TEST_F(Unattended, ListedHostGivesOne) {
    m_resolver.answer("127.0.0.2", {127, 0, 0, 2}).answer("2.0.0.127.bl.test", {127, 0, 0, 2});
    EXPECT_EQ(run("127.0.0.2"), kExitListed);
    EXPECT_EQ(m_errors.str(), "");
    // Row 0 is in the report, listed.
    EXPECT_NE(readBytes(report()).find("Test List</td><td>\r\nListed: 127.0.0.2\r\n"),
              std::string::npos);
}

TEST_F(Unattended, CleanHostGivesZeroAndPrintsNothing) {
    m_resolver.answer("mail.example", {192, 0, 2, 1});
    EXPECT_EQ(run("mail.example"), kExitClean);
    EXPECT_EQ(m_errors.str(), "");
    const std::string html = readBytes(report());
    EXPECT_NE(html.find("Server: mail.example (192.0.2.1)<p>"), std::string::npos);
    EXPECT_NE(html.find("Other</td><td>\r\nNot Found\r\n"), std::string::npos);
    EXPECT_EQ(m_resolver.asked(), (std::vector<std::string>{"mail.example", "1.2.0.192.bl.test",
                                                            "1.2.0.192.other.test"}));
}

TEST_F(Unattended, UnresolvedHostGivesTwoAndStillWritesTheReport) {
    m_resolver.noAnswer("servfail.test");
    EXPECT_EQ(run("servfail.test"), kExitUnresolved);
    EXPECT_EQ(m_errors.str(), "Unable to resolve servfail.test: the DNS gave no answer\n");

    m_errors.str("");
    EXPECT_EQ(run("nowhere.test"), kExitUnresolved);
    EXPECT_EQ(m_errors.str(), "Unable to resolve nowhere.test: the name does not exist\n");
    const std::string html = readBytes(report());
    EXPECT_NE(html.find("Server: nowhere.test<p>"), std::string::npos);
    EXPECT_EQ(html.find("Not Found"), std::string::npos);
    EXPECT_EQ(html.find("Listed"), std::string::npos);
}

TEST_F(Unattended, UnwritableReportGivesThreeAndNamesEveryListing) {
    writeBytes(m_dir / "bl_mon", "a file where the folder should be");
    m_resolver.answer("127.0.0.2", {127, 0, 0, 2})
        .answer("2.0.0.127.bl.test", {127, 0, 0, 2})
        .answer("2.0.0.127.other.test", {127, 0, 0, 4});
    EXPECT_EQ(run("127.0.0.2"), kExitFailed);
    EXPECT_TRUE(
        m_errors.str().starts_with("Listed on bl.test (Test List): 127.0.0.2\n"
                                   "Listed on other.test (Other): 127.0.0.4\n"
                                   "Report not written: " +
                                   report().string() + ": "))
        << m_errors.str();
}

// A host this mode cannot check is a usage error: nothing is asked and the
// report that is there stays as it was.
TEST_F(Unattended, HostsThatCannotBeCheckedLeaveTheReportAsItWas) {
    const struct {
        std::string host;
        std::string message;
    } cases[] = {
        {" ", "Nothing to look up: the host is blank\n"},
        {"", "Nothing to look up: the host is blank\n"},
        {"2001:db8::1",
         "Cannot check 2001:db8::1: this mode checks IPv4 addresses and host names only; "
         "`ostrivane --check 2001:db8::1` checks an IPv6 address\n"},
    };
    std::filesystem::create_directories(report().parent_path());
    writeBytes(report(), "published");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        m_errors.str("");
        EXPECT_EQ(run(c.host), kExitFailed);
        EXPECT_EQ(m_errors.str(), c.message);
        EXPECT_TRUE(m_resolver.asked().empty());
        EXPECT_EQ(readBytes(report()), "published");
    }
}

// However the rows came to lack zones, nothing was checked: that is no all-clear.
TEST_F(Unattended, AListWithoutZonesGivesFourAndStillWritesTheReport) {
    for (const std::string_view list :
         {std::string_view("\r\n"), std::string_view("\xEF\xBB\xBF"),
          std::string_view("Name only\r\n\r\nAnother\r\n"), std::string_view("\0\0\0", 3)}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(list)));
        writeBytes(listFile(), list);
        std::filesystem::remove(report());
        m_errors.str("");
        m_resolver.answer("mail.example", {192, 0, 2, 1});
        EXPECT_EQ(run("mail.example"), kExitIncomplete);
        EXPECT_EQ(m_errors.str(),
                  "No blacklist to check: no row of " + listFile().string() + " has a zone\n");
        EXPECT_TRUE(std::filesystem::exists(report()));
    }
}

TEST_F(Unattended, UnansweredQueryGivesFour) {
    m_resolver.answer("mail.example", {192, 0, 2, 1}).noAnswer("1.2.0.192.other.test");
    EXPECT_EQ(run("mail.example"), kExitIncomplete);
    EXPECT_NE(readBytes(report()).find("Lookup failed"), std::string::npos);
    EXPECT_EQ(m_errors.str(), "No verdict from other.test (Other): Lookup failed\n");
}

TEST_F(Unattended, ListErrorsGiveFour) {
    m_resolver.answer("mail.example", {192, 0, 2, 1})
        .answer("1.2.0.192.bl.test", {127, 255, 255, 254})
        .answer("1.2.0.192.other.test", {198, 51, 100, 80});
    EXPECT_EQ(run("mail.example"), kExitIncomplete);
    EXPECT_EQ(m_errors.str(),
              "No verdict from bl.test (Test List): List error: 127.255.255.254\n"
              "No verdict from other.test (Other): List error: 198.51.100.80\n");
}

// A list that its test points show broken gives no verdict, listed or not:
// its row, the report and the status say so, as --check does.
TEST_F(Unattended, BrokenListsAreListErrorsInTheReportAndTheStatus) {
    const struct {
        const char* label;
        std::function<void(ScriptedResolver&)> breakLists;
        int status;
        std::string errors;
    } cases[] = {
        {"lists everything",
         [](ScriptedResolver& r) {
             r.answer("1.0.0.127.bl.test", {127, 0, 0, 2});
         },
         kExitIncomplete, "No verdict from bl.test (Test List): List error: lists everything\n"},
        {"no test point", [](ScriptedResolver& r) { r.notFound("2.0.0.127.bl.test"); },
         kExitIncomplete, "No verdict from bl.test (Test List): List error: not a working list\n"},
        {"another list lists the host",
         [](ScriptedResolver& r) {
             r.answer("1.0.0.127.bl.test", {127, 0, 0, 2});
         },
         kExitListed, "No verdict from bl.test (Test List): List error: lists everything\n"},
    };
    // In this order: the last case adds a listing to the script.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        m_resolver.answer("mail.example", {192, 0, 2, 1})
            .answer("1.2.0.192.bl.test", {127, 0, 0, 2});
        if (c.status == kExitListed) {
            m_resolver.answer("1.2.0.192.other.test", {127, 0, 0, 3});
        }
        m_points = std::make_shared<ScriptedResolver>();
        m_points->workingList("bl.test").workingList("other.test");
        c.breakLists(*m_points);
        m_errors.str("");
        EXPECT_EQ(run("mail.example"), c.status);
        EXPECT_EQ(m_errors.str(), c.errors);
        const std::string row = c.errors.substr(c.errors.find("List error"));
        EXPECT_NE(
            readBytes(report()).find("Test List</td><td>\r\n" + row.substr(0, row.size() - 1)),
            std::string::npos);
    }
}

TEST_F(Unattended, ListedWinsOverAnIncompleteCheck) {
    m_resolver.answer("mail.example", {192, 0, 2, 1})
        .answer("1.2.0.192.bl.test", {127, 0, 0, 2})
        .noAnswer("1.2.0.192.other.test");
    EXPECT_EQ(run("mail.example"), kExitListed);
}

TEST_F(Unattended, LeavesTheListFileAsItWas) {
    m_resolver.answer("mail.example", {192, 0, 2, 1});
    run("mail.example");
    EXPECT_EQ(readBytes(listFile()), kList);

    std::filesystem::remove(listFile());
    run("mail.example");
    EXPECT_FALSE(std::filesystem::exists(listFile()));
}

TEST_F(Unattended, UnreadableListIsReportedAndTheDefaultsAreChecked) {
    std::filesystem::remove(listFile());
    std::filesystem::create_directory(listFile());
    m_resolver.answer("mail.example", {192, 0, 2, 1});

    EXPECT_EQ(run("mail.example"), kExitClean);
    EXPECT_NE(m_errors.str().find(listFile().string()), std::string::npos) << m_errors.str();
    EXPECT_EQ(m_resolver.asked().size(), 17u);  // the host and the 16 default zones
}

LookupSummary summary(LookupOutcome outcome, int queried, int listed, int listErrors,
                      int unanswered) {
    LookupSummary made;
    made.outcome = outcome;
    made.queried = queried;
    made.listed = listed;
    made.listErrors = listErrors;
    made.unanswered = unanswered;
    return made;
}

TEST(ExitStatus, FromTheSummary) {
    using enum LookupOutcome;
    EXPECT_EQ(exitStatusFor(summary(Completed, 3, 0, 0, 0)), kExitClean);
    EXPECT_EQ(exitStatusFor(summary(Completed, 0, 0, 0, 0)), kExitClean);
    EXPECT_EQ(exitStatusFor(summary(Completed, 3, 1, 1, 1)), kExitListed);
    EXPECT_EQ(exitStatusFor(summary(Completed, 3, 0, 1, 0)), kExitIncomplete);
    EXPECT_EQ(exitStatusFor(summary(Completed, 3, 0, 0, 1)), kExitIncomplete);
    EXPECT_EQ(exitStatusFor(summary(HostUnresolved, 0, 0, 0, 0)), kExitUnresolved);
    EXPECT_EQ(exitStatusFor(summary(NothingToLookUp, 0, 0, 0, 0)), kExitFailed);
}

}  // namespace
}  // namespace ostrivane
