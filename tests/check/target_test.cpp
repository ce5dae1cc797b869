#include "check/target.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "core/ip_address.h"

namespace ostrivane {
namespace {

// What a target text stands for: its addresses as canonical text, the first
// query name under "bl.test", or the error's reason (a fragment of it).
struct TargetCase {
    std::string text;
    std::size_t count = 0;  // addresses; 0 for a host name or an error
    std::string first;      // the first address
    std::string firstQuery;
    std::string error;  // non-empty: must fail with this in the reason
};

const std::string kNibbles99 = "9.9.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2";

const TargetCase kTargets[] = {
    {"192.0.2.99", 1, "192.0.2.99", "99.2.0.192.bl.test", ""},
    {"0.0.0.0", 1, "0.0.0.0", "0.0.0.0.bl.test", ""},
    {"255.255.255.255", 1, "255.255.255.255", "255.255.255.255.bl.test", ""},
    {"2001:db8::99", 1, "2001:db8::99", kNibbles99 + ".bl.test", ""},
    {"2001:0DB8:0000::0099", 1, "2001:db8::99", kNibbles99 + ".bl.test", ""},
    {"::ffff:127.0.0.2", 1, "::ffff:127.0.0.2",
     "2.0.0.0.0.0.f.7.f.f.f.f.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.bl.test", ""},
    {"192.0.2.0/24", 256, "192.0.2.0", "0.2.0.192.bl.test", ""},
    {"192.0.2.77/24", 256, "192.0.2.0", "0.2.0.192.bl.test", ""},  // host bits cleared
    {"10.1.0.0/16", 65536, "10.1.0.0", "0.0.1.10.bl.test", ""},
    {"192.0.2.99/32", 1, "192.0.2.99", "99.2.0.192.bl.test", ""},
    {"192.0.2.98/31", 2, "192.0.2.98", "98.2.0.192.bl.test", ""},
    {"2001:db8::/120", 256,
     "2001:db8::", "0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.bl.test", ""},
    {"2001:db8::99/128", 1, "2001:db8::99", kNibbles99 + ".bl.test", ""},
    {"10.16.0.0/12", 1048576, "10.16.0.0", "0.0.16.10.bl.test", ""},
    {"10.0.0.0/11", 0, "", "", "too wide"},
    {"2001:db8::/107", 0, "", "", "too wide"},
    {"192.0.2.0/33", 0, "", "", "from 0 to 32"},
    {"2001:db8::/129", 0, "", "", "from 0 to 128"},
    {"192.0.2.0/", 0, "", "", "prefix"},
    {"192.0.2.0/2x", 0, "", "", "prefix"},
    {"192.0.2/24", 0, "", "", "address block"},
    {"192.0.2.256", 0, "", "", "not an address"},
    {"192.0.2", 0, "", "", "not an address"},
    {"01.2.3.4", 0, "", "", "not an address"},
    {"2001:db8::99%eth0", 0, "", "", "not an address"},
    {"mail example.com", 0, "", "", "not an address"},
    {"-bad.example", 0, "", "", "not an address"},
    {"", 0, "", "", "empty"},
    {"mail:", 0, "", "", "not a mail target"},
    {"MX:-bad.example", 0, "", "", "not a mail target"},
    {"spf:192.0.2.1", 0, "", "", "not a mail target"},
    {"dkim:example.org", 0, "", "", "not an address"},
};

TEST(Target, ParsesExpandsAndNamesEachTarget) {
    for (const auto& c : kTargets) {
        SCOPED_TRACE(c.text);
        const auto parsed = parseTarget(c.text);
        if (!c.error.empty()) {
            ASSERT_TRUE(std::holds_alternative<TargetError>(parsed));
            EXPECT_NE(std::get<TargetError>(parsed).reason.find(c.error), std::string::npos)
                << std::get<TargetError>(parsed).reason;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<Target>(parsed));
        const auto expanded =
            expandTargets({std::get<Target>(parsed)}, [](const std::vector<std::string>&) {
                ADD_FAILURE() << "no host name expected";
                return std::vector<HostAddresses>();
            });
        const auto& addresses = std::get<ExpandedTargets>(expanded).addresses;
        ASSERT_EQ(addresses.size(), c.count);
        EXPECT_EQ(formatIpAddress(addresses.front().address), c.first);
        EXPECT_EQ(listQueryName(addresses.front().address, "bl.test"), c.firstQuery);
        EXPECT_EQ(addresses.front().target, c.text);
    }
}

TEST(Target, BlocksCountUpAcrossBytes) {
    const auto parsed = std::get<Target>(parseTarget("10.16.0.0/12"));
    const auto expanded = std::get<ExpandedTargets>(expandTargets({parsed}, {}));
    EXPECT_EQ(formatIpAddress(expanded.addresses[255].address), "10.16.0.255");
    EXPECT_EQ(formatIpAddress(expanded.addresses[256].address), "10.16.1.0");
    EXPECT_EQ(formatIpAddress(expanded.addresses[65536].address), "10.17.0.0");
    EXPECT_EQ(formatIpAddress(expanded.addresses.back().address), "10.31.255.255");
}

TEST(Target, HostNamesGiveEveryAddressOnceAndUnresolvedOrUnansweredOnce) {
    // name -> addresses; "?" marks a lookup that got no answer.
    const std::map<std::string, std::vector<std::string>> hosts = {
        {"mail.example", {"192.0.2.10", "2001:db8::10"}},
        {"mx.example", {"2001:db8::10", "192.0.2.11"}},
        {"silent.example", {"?"}},
        {"half.example", {"192.0.2.12", "?"}},
    };
    std::vector<std::vector<std::string>> asked;
    const HostResolver resolve = [&](const std::vector<std::string>& names) {
        asked.push_back(names);
        std::vector<HostAddresses> found(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto host = hosts.find(names[i]);
            for (const auto& text :
                 host == hosts.end() ? std::vector<std::string>() : host->second) {
                if (text == "?") {
                    found[i].answered = false;
                } else {
                    found[i].addresses.push_back(*parseIpAddress(text));
                }
            }
        }
        return found;
    };
    std::vector<Target> targets;
    for (const auto* text : {"mail.example", "nowhere.example", "mx.example", "192.0.2.10",
                             "nowhere.example", "silent.example", "half.example"}) {
        targets.push_back(std::get<Target>(parseTarget(text)));
    }
    const auto expanded = std::get<ExpandedTargets>(expandTargets(targets, resolve));
    std::vector<std::string> got;
    for (const auto& address : expanded.addresses) {
        got.push_back(address.target + " " + formatIpAddress(address.address));
    }
    EXPECT_EQ(got, (std::vector<std::string>{"mail.example 192.0.2.10", "mail.example 2001:db8::10",
                                             "mx.example 192.0.2.11", "half.example 192.0.2.12"}));
    EXPECT_EQ(expanded.unresolved, std::vector<std::string>{"nowhere.example"});
    EXPECT_EQ(expanded.unanswered, (std::vector<std::string>{"silent.example", "half.example"}));
    // Every name at once, each once.
    EXPECT_EQ(asked, (std::vector<std::vector<std::string>>{{"mail.example", "nowhere.example",
                                                             "mx.example", "silent.example",
                                                             "half.example"}}));
}

TEST(Target, AnAddressOfAnEarlierBlockIsCheckedOnce) {
    std::vector<Target> targets;
    for (const char* text : {"192.0.2.0/24", "192.0.2.5", "192.0.2.0/25", "192.0.3.1"}) {
        targets.push_back(std::get<Target>(parseTarget(text)));
    }
    const auto expanded = std::get<ExpandedTargets>(expandTargets(targets, {}));
    ASSERT_EQ(expanded.addresses.size(), 257u);
    EXPECT_EQ(expanded.addresses[5].target, "192.0.2.0/24");
    EXPECT_EQ(expanded.addresses.back().target, "192.0.3.1");
}

TEST(Target, MoreThanTheLimitIsAnError) {
    const auto wide = std::get<Target>(parseTarget("10.0.0.0/12"));
    const auto one = std::get<Target>(parseTarget("10.16.0.0/32"));
    EXPECT_TRUE(std::holds_alternative<ExpandedTargets>(expandTargets({wide, wide}, {})));
    const auto tooMany = expandTargets({wide, one}, {});
    ASSERT_TRUE(std::holds_alternative<TargetError>(tooMany));
    EXPECT_EQ(std::get<TargetError>(tooMany).text, "10.16.0.0/32");
}

TEST(Target, StandardInputSkipsBlanksAndCommentsAndNamesABadLine) {
    std::istringstream good("# servers\n\n  192.0.2.1 \r\n\t# another\nmail.example\n");
    const auto targets = std::get<std::vector<Target>>(readTargets(good));
    ASSERT_EQ(targets.size(), 2U);
    EXPECT_EQ(targets[0].text, "192.0.2.1");
    EXPECT_EQ(targets[1].text, "mail.example");

    std::istringstream bad("192.0.2.1\n\n192.0.2.999\n");
    const auto error = std::get<TargetError>(readTargets(bad));
    EXPECT_EQ(error.text, "192.0.2.999");
    EXPECT_NE(error.reason.find("standard input line 3"), std::string::npos) << error.reason;
}

}  // namespace
}  // namespace ostrivane
