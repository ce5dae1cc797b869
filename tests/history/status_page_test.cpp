#include "history/status_page.h"

#include <gtest/gtest.h>

#include <string>

#include "core/information_page.h"
#include "support/history_test_support.h"
#include "text/html_escape.h"

namespace ostrivane {
namespace {

using testing::kDecember1;
using testing::kHourMs;
using testing::resultOf;
using testing::runOf;

std::size_t count(const std::string& text, std::string_view part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

TEST(StatusPage, EscapesEveryValueItShows) {
    const std::string markup = "<script>alert(\"x\")</script>&'";
    CheckRun run =
        runOf(kDecember1, {resultOf("192.0.2.10", "bl.test", CheckVerdict::Listed, markup)});
    run.zones[0].name = "Evil <b>\"list\"</b>";
    run.results[0].target = "<img src=x onerror=alert(1)>";
    run.results[0].answers = {"127.0.0.2<i>"};
    run.unresolvedTargets = {"<u>nowhere</u>"};
    const std::string html = renderStatusPage(run, {});

    for (const std::string_view raw :
         {"<script", "<img", "<b>", "<i>", "<u>", "onerror=alert(1)>"}) {
        EXPECT_EQ(html.find(raw), std::string::npos) << raw;
    }
    EXPECT_NE(html.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;"),
              std::string::npos);
    EXPECT_NE(html.find("Evil &lt;b&gt;&quot;list&quot;&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(html.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
    EXPECT_NE(html.find("&lt;u&gt;nowhere&lt;/u&gt;"), std::string::npos);
    // The only link is the list's information page, by the same rule as the report.
    EXPECT_EQ(count(html, "href="), 1u);
    EXPECT_NE(html.find("href=\"" + htmlEscape(informationPageFor(run.zones[0].name)) + "\""),
              std::string::npos);
    EXPECT_EQ(count(html, "src=\""), 0u);
}

TEST(StatusPage, ShowsVerdictsInTheWindowsColoursWithChangesAndStrips) {
    CheckRun run = runOf(kDecember1 + 5 * kHourMs,
                         {resultOf("192.0.2.10", "bl.test", CheckVerdict::Listed),
                          resultOf("192.0.2.10", "bl2.test", CheckVerdict::NotListed),
                          resultOf("192.0.2.10", "dead.test", CheckVerdict::BrokenZone)});
    run.results[0].change = ListingChange::Ongoing;
    run.results[0].since = kDecember1 + 2 * kHourMs;
    run.results[1].change = ListingChange::Cleared;
    run.results[1].since = kDecember1;
    RecentDays recent{
        kDecember1 - 2 * 24 * kHourMs,
        3,
        {{"192.0.2.10", "bl.test", {DayState::Unknown, DayState::Clear, DayState::Listed}}}};
    const std::string html = renderStatusPage(run, recent);

    EXPECT_NE(html.find("td.listed{background:#6b0000;color:#ffffff"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"listed\">listed 127.0.0.2</td><td>2026-12-01 02:00 UTC<div "
                        "class=\"sub\">for 3h 0m</div>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"clear\">not-listed<span class=\"change\">cleared</span></td>"
                        "<td>listed from 2026-12-01 00:00 UTC<div class=\"sub\">for 5h 0m</div>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"unknown\">broken-zone</td>"), std::string::npos);
    EXPECT_NE(html.find("<span class=\"day unknown\" title=\"2026-11-29: unknown\"></span>"
                        "<span class=\"day clear\" title=\"2026-11-30: clear\"></span>"
                        "<span class=\"day listed\" title=\"2026-12-01: listed\"></span>"),
              std::string::npos);
    EXPECT_EQ(count(html, "no history"), 2u);  // bl2.test and dead.test
    EXPECT_EQ(count(html, "<h2>"), 1u);
}

}  // namespace
}  // namespace ostrivane
