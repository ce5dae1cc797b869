#include "history/status_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <string>
#include <vector>

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
    run.results[0].meanings = {{"<s>listing", "<em>spam</em>"}};
    run.results[0].via = {"spf include:<q>x"};
    run.unresolvedTargets = {"<u>nowhere</u>"};
    const std::string html = renderStatusPage(run, {});

    for (const std::string_view raw :
         {"<script", "<img", "<b>", "<i>", "<u>", "onerror=alert(1)>", "<s>", "<em>", "<q>"}) {
        EXPECT_EQ(html.find(raw), std::string::npos) << raw;
    }
    EXPECT_NE(html.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;"),
              std::string::npos);
    EXPECT_NE(html.find("Evil &lt;b&gt;&quot;list&quot;&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(html.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
    EXPECT_NE(html.find("&lt;u&gt;nowhere&lt;/u&gt;"), std::string::npos);
    EXPECT_NE(html.find("127.0.0.2&lt;i&gt; &lt;s&gt;listing: &lt;em&gt;spam&lt;/em&gt;"),
              std::string::npos);
    EXPECT_NE(html.find("via spf include:&lt;q&gt;x"), std::string::npos);
    // The only link is the list's information page, by the same rule as the report
    // (once in what needs action, once under the listed address).
    EXPECT_EQ(count(html, "href="), 2u);
    EXPECT_NE(html.find("href=\"" + htmlEscape(informationPageFor(run.zones[0].name)) + "\""),
              std::string::npos);
    EXPECT_EQ(count(html, "src=\""), 0u);
}

// A list of the catalog links to the catalog's page, if it is a web page.
TEST(StatusPage, LinksToTheCatalogsInformationPage) {
    const struct {
        std::string info;
        std::string href;
    } cases[] = {
        {"https://dbl.example/?a=1&b=<x>", "https://dbl.example/?a=1&amp;b=&lt;x&gt;"},
        {"javascript:alert(1)", htmlEscape(informationPageFor("DBL"))},
        {"", htmlEscape(informationPageFor("DBL"))},
    };
    for (const auto& c : cases) {
        CheckRun run =
            runOf(kDecember1, {resultOf("192.0.2.10", "dbl.test", CheckVerdict::Listed)});
        run.zones[0].name = "DBL";
        run.zones[0].info = c.info;
        const std::string html = renderStatusPage(run, {});
        EXPECT_EQ(count(html, "href=\"" + c.href + "\">DBL</a>"), 2u) << c.info;
        EXPECT_EQ(html.find("javascript:"), std::string::npos);
    }
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
    EXPECT_EQ(count(html, "<h3>192.0.2.10</h3>"), 1u);
}

CheckRun manyAddresses(int addresses, int zones, const std::vector<int>& listedAt) {
    std::vector<CheckResult> results;
    for (int i = 0; i < addresses; ++i) {
        const std::string address =
            "198.51." + std::to_string(100 + i / 256) + "." + std::to_string(i % 256);
        for (int zone = 0; zone < zones; ++zone) {
            const bool listed =
                zone == 1 && std::find(listedAt.begin(), listedAt.end(), i) != listedAt.end();
            results.push_back(resultOf(address, "zone" + std::to_string(zone) + ".test",
                                       listed ? CheckVerdict::Listed : CheckVerdict::NotListed));
            results.back().target =
                "198.51.100.0/" + std::to_string(32 - std::bit_width(unsigned(addresses - 1)));
        }
    }
    return runOf(kDecember1, std::move(results));
}

RecentDays thirtyDaysOf(const CheckRun& run) {
    RecentDays recent{kDecember1 - 29 * 24 * kHourMs, 30, {}};
    for (const auto& result : run.results) {
        recent.strips.push_back(
            {result.address, result.zone, std::vector<DayState>(30, DayState::Clear)});
    }
    return recent;
}

// The page leads with what needs action and counts clean addresses per block,
// so its size follows the listings, not the addresses.
TEST(StatusPage, StaysSmallForManyAddresses) {
    struct Case {
        const char* name;
        int addresses;
        int zones;
        std::vector<int> listed;
        std::size_t maxBytes;
        std::vector<std::string> rows;  // the blocks' rows
    };
    const Case cases[] = {
        {"a /24 against 16 lists, three listings",
         256,
         16,
         {7, 70, 200},
         300 * 1024,
         {"<tr><td>198.51.100.0/24</td><td>256</td><td>253</td><td>3</td><td>0</td></tr>"}},
        {"a /20 against 4 lists, one listing",
         4096,
         4,
         {300},
         300 * 1024,
         {"<tr><td>198.51.100.0/24</td><td>256</td><td>256</td><td>0</td><td>0</td></tr>",
          "<tr><td>198.51.101.0/24</td><td>256</td><td>255</td><td>1</td><td>0</td></tr>",
          "<tr><td>198.51.115.0/24</td><td>256</td><td>256</td><td>0</td><td>0</td></tr>"}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        CheckRun run = manyAddresses(test.addresses, test.zones, test.listed);
        const std::string html = renderStatusPage(run, thirtyDaysOf(run));
        EXPECT_LT(html.size(), test.maxBytes);
        for (const auto& row : test.rows) {
            EXPECT_NE(html.find(row), std::string::npos) << row;
        }
        EXPECT_EQ(count(html, "<h3>198.51."), test.listed.size());
        EXPECT_EQ(count(html, "<span class=\"day clear\" title="),
                  30 * test.listed.size() * static_cast<std::size_t>(test.zones));
    }
}

TEST(StatusPage, LeadsWithWhatNeedsActionAndCountsInPlainWords) {
    struct Case {
        const char* name;
        std::vector<CheckResult> results;
        std::vector<ZoneHealth> health;  // of the zones in order of first result
        bool withHistory;
        std::vector<std::string> inOrder;  // parts that appear, in this order
        std::vector<std::string> absent;
    };
    using V = CheckVerdict;
    auto fresh = resultOf("192.0.2.9", "bl.test", V::Listed, "fresh one");
    fresh.change = ListingChange::New;
    auto old = resultOf("192.0.2.1", "bl.test", V::Listed, "old one");
    old.change = ListingChange::Ongoing;
    auto evil = resultOf("192.0.2.1", "bl.test", V::Listed, "\u202Elive");
    // Mail targets' subjects, decoded by the catalog: a domain, an address
    // reached two ways, a list's error code.
    auto domain = resultOf("owner.example", "dbl.test", V::Listed, "spam domain");
    domain.target = "mail:owner.example";
    domain.answers = {"127.0.1.2"};
    domain.meanings = {{"listing", "DBL: a spam domain"}};
    domain.via = {"domain"};
    auto mxHost = resultOf("mx.owner.example", "dbl.test", V::NotListed);
    mxHost.target = "mail:owner.example";
    mxHost.via = {"mx mx.owner.example"};
    auto pbl = resultOf("192.0.2.20", "zen.test", V::Listed, "end-user range");
    pbl.target = "mail:owner.example";
    pbl.answers = {"127.0.0.10", "127.0.0.4"};
    pbl.meanings = {{"policy-listing", "PBL: an end-user range"}, {"listing", ""}};
    pbl.via = {"mx mx.owner.example", "spf include:_spf.example.net ip4:192.0.2.0/24"};
    auto refused = resultOf("192.0.2.21", "zen.test", V::ListError);
    refused.answers = {"127.255.255.254"};
    refused.meanings = {{"list-error", "a public resolver"}};
    const Case cases[] = {
        {"one clean address, no history",
         {resultOf("192.0.2.1", "bl.test", V::NotListed)},
         {ZoneHealth::Healthy},
         false,
         {"1 address, 1 list; 0 listings.</p>", "Nothing: no address is listed",
          "<strong>list-error</strong>"},
         {"(0 new)", "cleared.", "Each day:", "Listed addresses"}},
        {"new listings first, with history",
         {old, fresh},
         {ZoneHealth::Healthy},
         true,
         {"2 addresses, 1 list; 2 listings (1 new), 0 cleared.", "<h3>2 listings</h3>", "fresh one",
          "old one", "<h2>Listed addresses</h2>", "Each day:"},
         {"Nothing:"}},
        {"broken and silent lists, and why",
         {resultOf("192.0.2.1", "dead.test", V::BrokenZone),
          resultOf("192.0.2.1", "slow.test", V::NoAnswer),
          resultOf("192.0.2.2", "slow.test", V::ListError)},
         {ZoneHealth::EmptyOrDead, ZoneHealth::Healthy},
         false,
         {"2 addresses, 2 lists; 0 listings.", "dead.test", "broken: empty or dead", "slow.test",
          "no answer for 1 address; an error code for 1 address",
          "<td>192.0.2.0/24</td><td>2</td><td>0</td><td>0</td><td>2</td>"},
         {"Nothing:"}},
        {"answers with their meanings, subjects with their way",
         {domain, mxHost, pbl, refused},
         {ZoneHealth::Healthy, ZoneHealth::Healthy},
         false,
         {"2 addresses, 2 domain names, 2 lists; 2 listings.",
          "owner.example <span class=\"targets\">(mail:owner.example)</span><span "
          "class=\"via\">via domain</span>",
          "<td class=\"listed\">listed<div class=\"meaning\">127.0.1.2 listing: DBL: a spam "
          "domain</div></td>",
          "192.0.2.20 <span class=\"targets\">(mail:owner.example)</span><span class=\"via\">"
          "via mx mx.owner.example; spf include:_spf.example.net ip4:192.0.2.0/24</span>",
          "<div class=\"meaning\">127.0.0.10 policy-listing: PBL: an end-user range</div>"
          "<div class=\"meaning\">127.0.0.4 listing</div>",
          "an error code for 1 address<div class=\"meaning\">127.255.255.254: a public "
          "resolver</div>",
          "<h2>Listed addresses and domain names</h2>",
          "<td>192.0.2.0/24</td><td>2</td><td>0</td><td>1</td><td>1</td>",
          "<td>mx.owner.example</td><td>1</td><td>1</td><td>0</td><td>0</td>",
          "<td>owner.example</td><td>1</td><td>0</td><td>1</td><td>0</td>"},
         {"Nothing:", "listed 127.0.1.2"}},
        {"a bidirectional override is shown, not obeyed",
         {evil},
         {ZoneHealth::Healthy},
         false,
         {"1 listing</h3>", "\\u202elive"},
         {"\u202E"}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        CheckRun run = runOf(kDecember1, test.results);
        for (std::size_t i = 0; i < run.zones.size(); ++i) {
            run.zones[i].health = test.health[i];
        }
        const RecentDays recent = test.withHistory ? thirtyDaysOf(run) : RecentDays{};
        const std::string html = renderStatusPage(run, recent);
        std::size_t at = 0;
        for (const auto& part : test.inOrder) {
            const auto found = html.find(part, at);
            ASSERT_NE(found, std::string::npos) << part << " after " << at << "\n" << html;
            at = found;
        }
        for (const auto& part : test.absent) {
            EXPECT_EQ(html.find(part), std::string::npos) << part;
        }
    }
}

}  // namespace
}  // namespace ostrivane
