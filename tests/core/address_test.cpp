#include "core/address.h"

#include <gtest/gtest.h>

#include "core/ip_address.h"

namespace ostrivane {
namespace {

struct ReverseCase {
    std::string_view text;
    std::string_view reversed;  // empty when the text is no address
};

class ReversedNameTest : public ::testing::TestWithParam<ReverseCase> {};

TEST_P(ReversedNameTest, ReversesOrRefuses) {
    const auto address = parseIpAddress(GetParam().text);
    EXPECT_EQ(address ? reversedName(*address) : "", GetParam().reversed);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReversedNameTest,
                         ::testing::Values(ReverseCase{"192.0.2.10", "10.2.0.192"},
                                           ReverseCase{"127.0.0.2", "2.0.0.127"},
                                           ReverseCase{"255.255.255.255", "255.255.255.255"},
                                           ReverseCase{"256.0.0.1", ""},
                                           ReverseCase{"1.0.0.256", ""},
                                           ReverseCase{"1.2.999999999999999999999.4", ""},
                                           ReverseCase{"1..3.", ""}, ReverseCase{"1.2.3.4.5", ""},
                                           ReverseCase{"1.2.3", ""}, ReverseCase{"", ""}));

TEST(FormatDottedQuad, WritesPlainDecimals) {
    EXPECT_EQ(formatDottedQuad({127, 0, 0, 2}), "127.0.0.2");
    EXPECT_EQ(formatDottedQuad({0, 10, 100, 255}), "0.10.100.255");
}

TEST(FormatDottedQuad, RoundTripsThroughTheParser) {
    const std::string dotted = formatDottedQuad({192, 0, 2, 10});
    EXPECT_EQ(parseIpAddress(dotted), ipv4Address({192, 0, 2, 10}));
}

TEST(QueryName, JoinsReversedAddressAndZoneAsTheyStand) {
    EXPECT_EQ(queryName(reversedName(ipv4Address({192, 0, 2, 10})), "bl.example"),
              "10.2.0.192.bl.example");
    EXPECT_EQ(queryName("2.0.0.127", " zone. "), "2.0.0.127. zone. ");
}

TEST(ListErrorAnswer, IsTheLast127Slash24Only) {
    EXPECT_TRUE(isListErrorAnswer({127, 255, 255, 252}));
    EXPECT_TRUE(isListErrorAnswer({127, 255, 255, 0}));
    EXPECT_FALSE(isListErrorAnswer({127, 255, 254, 255}));
    EXPECT_FALSE(isListErrorAnswer({127, 0, 0, 2}));
}

TEST(LooksLikeIPv6Address, ColonsMakeAnAddressNotAName) {
    for (const char* text :
         {"2001:db8::1", "::1", "::ffff:192.0.2.1", "[fe80::1%eth0]", "FE80::A"}) {
        EXPECT_TRUE(looksLikeIPv6Address(text)) << text;
    }
    for (const char* text : {"192.0.2.1", "mail.example", "host:25", "", "dead::beef.example"}) {
        EXPECT_FALSE(looksLikeIPv6Address(text)) << text;
    }
}

}  // namespace
}  // namespace ostrivane
