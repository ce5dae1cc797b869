#include "check/zone_check_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "core/memory_table.h"
#include "support/thread_safe_resolver.h"

namespace ostrivane {
namespace {

using namespace std::chrono_literals;
using testing::kNoAnswer;
using testing::kNotFound;
using testing::listed;
using testing::ThreadSafeFakeResolver;

ZoneCheck checked(int row, std::string name, std::string zone, Resolution for2, Resolution for1,
                  bool timedOut = false) {
    ZoneCheck check{row, std::move(name), std::move(zone), {for2, timedOut}, {for1, timedOut}, {}};
    check.health = classifyZone(for2, for1);
    return check;
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

// The check as the zone check mode runs it: the number of unhealthy zones.
long runZoneCheck(const BlacklistTable& table, Resolver& resolver, std::ostream& out,
                  ZoneCheckLimits limits = {}) {
    const auto checks = checkZones(table, resolver, limits);
    printZoneChecks(out, checks);
    return std::count_if(checks.begin(), checks.end(), [](const ZoneCheck& check) {
        return check.health != ZoneHealth::Healthy;
    });
}

TEST(RunZoneCheck, CountsEveryZoneThatIsNotHealthy) {
    MemoryTable table;
    table.setName(4, "Healthy");
    table.setZone(4, "bl.test");
    ThreadSafeFakeResolver resolver;
    resolver.answer("2.0.0.127.bl.test", {127, 0, 0, 2});

    std::ostringstream healthy;
    EXPECT_EQ(runZoneCheck(table, resolver, healthy, {1s, 2s}), 0);
    EXPECT_EQ(healthy.str(),
              "Row  Name     Zone     State    127.0.0.2  127.0.0.1\n"
              "  5  Healthy  bl.test  healthy  127.0.0.2  not listed\n"
              "\n"
              "1 of 1 list healthy\n");

    table.setZone(7, "empty.test");
    std::ostringstream unhealthy;
    EXPECT_EQ(runZoneCheck(table, resolver, unhealthy, {1s, 2s}), 1);
    EXPECT_TRUE(unhealthy.str().ends_with("\n1 of 2 lists healthy; empty or dead: 1\n"))
        << unhealthy.str();
}

TEST(RunZoneCheck, ATableWithoutZonesAsksNothing) {
    MemoryTable table;
    table.setName(0, "Name without a zone");
    ThreadSafeFakeResolver resolver;
    std::ostringstream out;
    EXPECT_EQ(runZoneCheck(table, resolver, out), 0);
    EXPECT_EQ(out.str(), "No row has a zone: nothing to check.\n");
    EXPECT_EQ(resolver.askedSorted(), std::vector<std::string>{});
}

}  // namespace
}  // namespace ostrivane
