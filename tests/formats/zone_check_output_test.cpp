#include "formats/zone_check_output.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <utility>

namespace ostrivane {
namespace {

using Bytes = std::array<std::uint8_t, 4>;

ListAnswer listed(Bytes address) {
    return {ListAnswer::Kind::Addresses, {address}, false};
}
const ListAnswer kNotFound{ListAnswer::Kind::NotFound, {}, false};
const ListAnswer kNoAnswer{ListAnswer::Kind::NoAnswer, {}, false};

// The IPv6 test points are those of the IPv4 ones unless given.
ZoneCheckRow checked(int row, std::string name, std::string zone, ListAnswer for2, ListAnswer for1,
                     bool timedOut = false,
                     std::optional<std::pair<ListAnswer, ListAnswer>> v6 = {}) {
    for2.timedOut = for1.timedOut = timedOut;
    const auto [v6Listed, v6Unlisted] = v6.value_or(std::pair{for2, for1});
    const auto ipv4 = classifyZone(resolutionOf(for2), resolutionOf(for1));
    const auto ipv6 = classifyZone(resolutionOf(v6Listed), resolutionOf(v6Unlisted));
    return {row,
            std::move(name),
            std::move(zone),
            {for2, for1, zoneHealthOf(ipv4, ipv6), v6Listed, v6Unlisted, ipv4, ipv6}};
}

TEST(PrintZoneChecks, AlignsTheColumnsAndSumsUp) {
    const std::vector<ZoneCheckRow> checks{
        checked(0, "Spamhaus SBL", "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(2, "", "wild.test", listed({127, 0, 0, 2}), listed({127, 0, 0, 2})),
        checked(9, "Refusing", "refuse.test", listed({127, 255, 255, 254}), kNoAnswer),
        checked(11, "Dead", "silent.test", kNoAnswer, kNoAnswer, true),
        checked(12, "IPv6 only", "v6.test", kNotFound, kNotFound, false,
                std::pair{listed({127, 0, 0, 10}), kNotFound}),
        checked(13, "IPv4 only", "v4.test", listed({127, 0, 0, 2}), kNotFound, false,
                std::pair{kNotFound, kNotFound}),
    };
    std::ostringstream out;
    printZoneChecks(out, checks);
    // A list that works for one family only is healthy as a whole.
    EXPECT_EQ(out.str(),
              "Row  Name          Zone         State             127.0.0.2        127.0.0.1   "
              "IPv4              IPv6              ::ffff:7f00:2    ::ffff:7f00:1\n"
              "  1  Spamhaus SBL  bl.test      healthy           127.0.0.2        not listed  "
              "healthy           healthy           127.0.0.2        not listed\n"
              "  3                wild.test    lists everything  127.0.0.2        127.0.0.2   "
              "lists everything  lists everything  127.0.0.2        127.0.0.2\n"
              " 10  Refusing      refuse.test  refuses us        127.255.255.254  no answer   "
              "refuses us        refuses us        127.255.255.254  no answer\n"
              " 12  Dead          silent.test  empty or dead     timed out        timed out   "
              "empty or dead     empty or dead     timed out        timed out\n"
              " 13  IPv6 only     v6.test      healthy           not listed       not listed  "
              "empty or dead     healthy           127.0.0.10       not listed\n"
              " 14  IPv4 only     v4.test      healthy           127.0.0.2        not listed  "
              "healthy           empty or dead     not listed       not listed\n"
              "\n"
              "3 of 6 lists healthy; lists everything: 1, empty or dead: 1, refuses us: 1\n");
}

TEST(PrintZoneChecks, EscapesControlCharactersAndAlignsByDisplayWidth) {
    const std::vector<ZoneCheckRow> checks{
        checked(0,
                "T\x1b]0;pwned\x07"
                "ab\tc",
                "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(1, "Liste f\xc3\xbcr Spam", "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(2, "\xe9\xbb\x91\xe5\x90\x8d\xe5\x8d\x95", "bl.test", listed({127, 0, 0, 2}),
                kNotFound),
    };
    std::ostringstream out;
    printZoneChecks(out, checks);
    const std::string both = "  healthy  healthy  127.0.0.2      not listed\n";
    EXPECT_EQ(out.str(),
              "Row  Name                    Zone     State    127.0.0.2  127.0.0.1   IPv4     "
              "IPv6     ::ffff:7f00:2  ::ffff:7f00:1\n"
              "  1  T\\x1b]0;pwned\\x07ab\\tc  bl.test  healthy  127.0.0.2  not listed" +
                  both +
                  "  2  Liste f\xc3\xbcr Spam          bl.test  healthy  127.0.0.2  not listed" +
                  both +
                  "  3  \xe9\xbb\x91\xe5\x90\x8d\xe5\x8d\x95                  bl.test  healthy  "
                  "127.0.0.2  not listed" +
                  both +
                  "\n"
                  "3 of 3 lists healthy\n");
}

TEST(PrintZoneChecks, JsonNamesEveryRowAndCountsTheStates) {
    const std::vector<ZoneCheckRow> checks{
        checked(0, "Spamhaus \"SBL\"", "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(2, "", "wild.test", listed({127, 0, 0, 2}), listed({127, 0, 0, 2})),
        checked(11, "Dead", "silent.test", kNoAnswer, kNoAnswer, true),
        checked(13, "IPv6 only", "v6.test", kNotFound, kNotFound, false,
                std::pair{listed({127, 0, 0, 10}), kNotFound}),
    };
    std::ostringstream out;
    printZoneChecksJson(out, checks);
    EXPECT_EQ(
        out.str(),
        "{\n"
        "  \"zones\": [\n"
        "    {\"row\": 1, \"name\": \"Spamhaus \\\"SBL\\\"\", \"zone\": \"bl.test\", "
        "\"state\": \"healthy\", \"127.0.0.2\": \"127.0.0.2\", \"127.0.0.1\": \"not listed\", "
        "\"ipv4\": \"healthy\", \"ipv6\": \"healthy\", \"::ffff:7f00:2\": \"127.0.0.2\", "
        "\"::ffff:7f00:1\": \"not listed\"},\n"
        "    {\"row\": 3, \"name\": \"\", \"zone\": \"wild.test\", "
        "\"state\": \"lists-everything\", \"127.0.0.2\": \"127.0.0.2\", "
        "\"127.0.0.1\": \"127.0.0.2\", \"ipv4\": \"lists-everything\", "
        "\"ipv6\": \"lists-everything\", \"::ffff:7f00:2\": \"127.0.0.2\", "
        "\"::ffff:7f00:1\": \"127.0.0.2\"},\n"
        "    {\"row\": 12, \"name\": \"Dead\", \"zone\": \"silent.test\", "
        "\"state\": \"empty-or-dead\", \"127.0.0.2\": \"timed out\", "
        "\"127.0.0.1\": \"timed out\", \"ipv4\": \"empty-or-dead\", "
        "\"ipv6\": \"empty-or-dead\", \"::ffff:7f00:2\": \"timed out\", "
        "\"::ffff:7f00:1\": \"timed out\"},\n"
        "    {\"row\": 14, \"name\": \"IPv6 only\", \"zone\": \"v6.test\", "
        "\"state\": \"healthy\", \"127.0.0.2\": \"not listed\", \"127.0.0.1\": \"not listed\", "
        "\"ipv4\": \"empty-or-dead\", \"ipv6\": \"healthy\", \"::ffff:7f00:2\": \"127.0.0.10\", "
        "\"::ffff:7f00:1\": \"not listed\"}\n"
        "  ],\n"
        "  \"summary\": {\"zones\": 4, \"healthy\": 2, \"lists_everything\": 1, "
        "\"empty_or_dead\": 1, \"refuses_us\": 0}\n"
        "}\n");
    std::ostringstream none;
    printZoneChecksJson(none, {});
    EXPECT_EQ(none.str(),
              "{\n  \"zones\": [],\n  \"summary\": {\"zones\": 0, \"healthy\": 0, "
              "\"lists_everything\": 0, \"empty_or_dead\": 0, \"refuses_us\": 0}\n}\n");
}

// A domain list's own test points get columns (and keys) of their own, only
// where a row is one.
TEST(PrintZoneChecks, DomainListsShowTheirOwnTestPoints) {
    ZoneCheckRow domains = checked(1, "DBL", "dbl.test", kNotFound, kNotFound);
    domains.domains = DomainListProbe{listed({127, 0, 1, 2}), kNotFound, ZoneHealth::Healthy};
    domains.probe.health = ZoneHealth::Healthy;
    const std::vector<ZoneCheckRow> checks{
        checked(0, "SBL", "bl.test", listed({127, 0, 0, 2}), kNotFound), domains};
    std::ostringstream out;
    printZoneChecks(out, checks);
    EXPECT_EQ(out.str(),
              "Row  Name  Zone      State    127.0.0.2   127.0.0.1   IPv4           IPv6         "
              "  ::ffff:7f00:2  ::ffff:7f00:1  Domains  test       invalid\n"
              "  1  SBL   bl.test   healthy  127.0.0.2   not listed  healthy        healthy      "
              "  127.0.0.2      not listed\n"
              "  2  DBL   dbl.test  healthy  not listed  not listed  empty or dead  empty or dead"
              "  not listed     not listed     healthy  127.0.1.2  not listed\n"
              "\n"
              "2 of 2 lists healthy\n");
    std::ostringstream json;
    printZoneChecksJson(json, checks);
    EXPECT_EQ(json.str().find("\"domains\""), json.str().rfind("\"domains\"")) << json.str();
    EXPECT_NE(json.str().find("\"::ffff:7f00:1\": \"not listed\", \"domains\": \"healthy\", "
                              "\"test\": \"127.0.1.2\", \"invalid\": \"not listed\"}"),
              std::string::npos)
        << json.str();
}

}  // namespace
}  // namespace ostrivane
