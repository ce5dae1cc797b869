#include "core/information_page.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

struct PageCase {
    std::string_view name;
    std::string_view page;
};

class InformationPageTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(InformationPageTest, LastMatchingRuleWins) {
    EXPECT_EQ(informationPageFor(GetParam().name), GetParam().page);
}

INSTANTIATE_TEST_SUITE_P(
    DefaultNames, InformationPageTest,
    ::testing::Values(PageCase{"CBL", "https://cbl.abuseat.org/"},
                      PageCase{"Spamhaus SBL", "https://www.spamhaus.org/sbl/"},
                      PageCase{"Spamhaus XBL", "https://www.spamhaus.org/sbl/"},
                      PageCase{"Spamhaus PBL", "https://www.spamhaus.org/pbl/"},
                      PageCase{"SpamCop", "https://www.spamcop.net/bl.shtml"},
                      PageCase{"DSBL", "http://dsbl.org/"},
                      PageCase{"SORBS", "http://www.sorbs.net/"},
                      PageCase{"NJABL", "http://www.njabl.org/"},
                      PageCase{"NJABL Dynablock", "http://www.njabl.org/dynablock.html"},
                      PageCase{"CASA-CBL", "https://www.google.com/search?q=CASA-CBL"},
                      PageCase{"SPEWS Level 1", "http://www.spews.org/"},
                      PageCase{"SPEWS Level 2", "http://www.spews.org/"},
                      PageCase{"UCEPROTECTL3", "https://www.uceprotect.net/en/index.php"},
                      PageCase{"PSBL", "https://psbl.org/"}));

INSTANTIATE_TEST_SUITE_P(TrickyNames, InformationPageTest,
                         ::testing::Values(
                             // Case-sensitive: a trigger typed in small letters matches nothing.
                             PageCase{"cbl", "https://www.google.com/search?q=cbl"},
                             PageCase{"my CBL mirror", "https://cbl.abuseat.org/"},
                             PageCase{"CASA-CBL and PSBL", "https://psbl.org/"},
                             PageCase{"SORBS via SpamCop", "http://www.sorbs.net/"},
                             PageCase{"SpamCop via SORBS", "http://www.sorbs.net/"},
                             PageCase{"   ", "https://www.google.com/search?q=%20%20%20"},
                             PageCase{"AT&T #1", "https://www.google.com/search?q=AT%26T%20%231"},
                             PageCase{"a+b=c?", "https://www.google.com/search?q=a%2Bb%3Dc%3F"}));

TEST(PercentEncode, EncodesEveryByteOutsideTheUnreservedSet) {
    EXPECT_EQ(percentEncode("Az09-_.~"), "Az09-_.~");
    EXPECT_EQ(percentEncode("\xC3\xA9/%"), "%C3%A9%2F%25");
}

}  // namespace
}  // namespace ostrivane
