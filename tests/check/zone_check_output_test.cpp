#include "check/zone_check_output.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrivane {
namespace {

using Bytes = std::array<std::uint8_t, 4>;

ListAnswer listed(Bytes address) {
    return {ListAnswer::Kind::Addresses, {address}, false};
}
const ListAnswer kNotFound{ListAnswer::Kind::NotFound, {}, false};
const ListAnswer kNoAnswer{ListAnswer::Kind::NoAnswer, {}, false};

ZoneCheck checked(int row, std::string name, std::string zone, ListAnswer for2, ListAnswer for1,
                  bool timedOut = false) {
    for2.timedOut = for1.timedOut = timedOut;
    const auto health = classifyZone(resolutionOf(for2), resolutionOf(for1));
    return {row, std::move(name), std::move(zone), {for2, for1, health}};
}

TEST(PrintZoneChecks, AlignsTheColumnsAndSumsUp) {
    const std::vector<ZoneCheck> checks{
        checked(0, "Spamhaus SBL", "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(2, "", "wild.test", listed({127, 0, 0, 2}), listed({127, 0, 0, 2})),
        checked(9, "Refusing", "refuse.test", listed({127, 255, 255, 254}), kNoAnswer),
        checked(11, "Dead", "silent.test", kNoAnswer, kNoAnswer, true),
        checked(12, "Empty", "empty.test", kNotFound, kNotFound),
    };
    std::ostringstream out;
    printZoneChecks(out, checks);
    EXPECT_EQ(out.str(),
              "Row  Name          Zone         State             127.0.0.2        127.0.0.1\n"
              "  1  Spamhaus SBL  bl.test      healthy           127.0.0.2        not listed\n"
              "  3                wild.test    lists everything  127.0.0.2        127.0.0.2\n"
              " 10  Refusing      refuse.test  refuses us        127.255.255.254  no answer\n"
              " 12  Dead          silent.test  empty or dead     timed out        timed out\n"
              " 13  Empty         empty.test   empty or dead     not listed       not listed\n"
              "\n"
              "1 of 5 lists healthy; lists everything: 1, empty or dead: 2, refuses us: 1\n");
}

TEST(PrintZoneChecks, EscapesControlCharactersAndAlignsByDisplayWidth) {
    const std::vector<ZoneCheck> checks{
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
    EXPECT_EQ(out.str(),
              "Row  Name                    Zone     State    127.0.0.2  127.0.0.1\n"
              "  1  T\\x1b]0;pwned\\x07ab\\tc  bl.test  healthy  127.0.0.2  not listed\n"
              "  2  Liste f\xc3\xbcr Spam          bl.test  healthy  127.0.0.2  not listed\n"
              "  3  \xe9\xbb\x91\xe5\x90\x8d\xe5\x8d\x95                  bl.test  healthy  "
              "127.0.0.2  not listed\n"
              "\n"
              "3 of 3 lists healthy\n");
}

TEST(PrintZoneChecks, JsonNamesEveryRowAndCountsTheStates) {
    const std::vector<ZoneCheck> checks{
        checked(0, "Spamhaus \"SBL\"", "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(2, "", "wild.test", listed({127, 0, 0, 2}), listed({127, 0, 0, 2})),
        checked(11, "Dead", "silent.test", kNoAnswer, kNoAnswer, true),
    };
    std::ostringstream out;
    printZoneChecksJson(out, checks);
    EXPECT_EQ(
        out.str(),
        "{\n"
        "  \"zones\": [\n"
        "    {\"row\": 1, \"name\": \"Spamhaus \\\"SBL\\\"\", \"zone\": \"bl.test\", "
        "\"state\": \"healthy\", \"127.0.0.2\": \"127.0.0.2\", \"127.0.0.1\": \"not listed\"},\n"
        "    {\"row\": 3, \"name\": \"\", \"zone\": \"wild.test\", "
        "\"state\": \"lists-everything\", \"127.0.0.2\": \"127.0.0.2\", "
        "\"127.0.0.1\": \"127.0.0.2\"},\n"
        "    {\"row\": 12, \"name\": \"Dead\", \"zone\": \"silent.test\", "
        "\"state\": \"empty-or-dead\", \"127.0.0.2\": \"timed out\", "
        "\"127.0.0.1\": \"timed out\"}\n"
        "  ],\n"
        "  \"summary\": {\"zones\": 3, \"healthy\": 1, \"lists_everything\": 1, "
        "\"empty_or_dead\": 1, \"refuses_us\": 0}\n"
        "}\n");
    std::ostringstream none;
    printZoneChecksJson(none, {});
    EXPECT_EQ(none.str(),
              "{\n  \"zones\": [],\n  \"summary\": {\"zones\": 0, \"healthy\": 0, "
              "\"lists_everything\": 0, \"empty_or_dead\": 0, \"refuses_us\": 0}\n}\n");
}

}  // namespace
}  // namespace ostrivane
