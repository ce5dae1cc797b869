#include "app/check_command_line.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

struct BadArguments {
    std::vector<std::string> args;
    std::string named;  // the message must hold this
};

const BadArguments kBad[] = {
    {{}, "no target"},
    {{"--zone", "bl.test"}, "no target"},
    {{"--timeout", "0", "192.0.2.1"}, "--timeout 0"},
    {{"--timeout", "-1", "192.0.2.1"}, "--timeout -1"},
    {{"--timeout", "1e3", "192.0.2.1"}, "--timeout 1e3"},
    {{"--timeout", "nan", "192.0.2.1"}, "--timeout nan"},
    {{"--timeout", "3601", "192.0.2.1"}, "--timeout 3601"},
    {{"--timeout"}, "--timeout: needs a value"},
    {{"--format", "xml", "192.0.2.1"}, "--format xml"},
    {{"--warning", "x", "192.0.2.1"}, "--warning x: \"x\" is not a range"},
    {{"-c", "5:1", "192.0.2.1"}, "--critical 5:1: \"5:1\" is not a range"},
    {{"-w", "", "192.0.2.1"}, "--warning : \"\" is not a range"},
    {{"-t", "0", "192.0.2.1"}, "--timeout 0"},
    {{"-H"}, "-H: needs a value"},
    {{"-H", "mail!"}, "target 'mail!'"},
    {{"--zone", "bad zone", "192.0.2.1"}, "--zone bad zone"},
    {{"--zone", "a..b", "192.0.2.1"}, "--zone a..b"},
    {{"--server", "ns.example", "192.0.2.1"}, "--server ns.example"},
    {{"--server", "192.0.2.1:0", "192.0.2.1"}, "--server 192.0.2.1:0"},
    {{"--server", "[192.0.2.1]:53", "192.0.2.1"}, "--server [192.0.2.1]:53"},
    {{"--keep-days", "0", "192.0.2.1"}, "--keep-days 0"},
    {{"--keep-days", "1.5", "192.0.2.1"}, "--keep-days 1.5"},
    {{"--history", "h.db", "--no-history", "192.0.2.1"}, "--no-history"},
    {{"--changes", "--no-history", "192.0.2.1"}, "--changes"},
    {{"--quiet=yes", "192.0.2.1"}, "--quiet: takes no value"},
    {{"--bogus", "192.0.2.1"}, "--bogus: unknown option"},
    {{"192.0.2.0/8"}, "target '192.0.2.0/8'"},
    {{"192.0.2.1", "mail!"}, "target 'mail!'"},
    // Read in the order given: the first problem is the one named.
    {{"--bogus", "--zone", "a..b", "192.0.2.1"}, "--bogus: unknown option"},
    {{"--zone", "a..b", "--bogus", "192.0.2.1"}, "--zone a..b"},
    {{"mail!", "--bogus"}, "target 'mail!'"},
    {{"-x", "192.0.2.1"}, "-x: unknown option"},
    {{"--bogus=1", "192.0.2.1"}, "--bogus: takes no value"},
    {{"--server", "--quiet", "192.0.2.1"}, "--server --quiet: not ADDRESS"},
    {{"--", "--zone", "192.0.2.1"}, "target '--zone'"},
    {{"--zone", "bl.test", "192.0.2.1", "--timeout"}, "--timeout: needs a value"},
    {{"--page=", "192.0.2.1"}, "--page: the page's file name is empty"},
    {{"mail:bad domain"}, "target 'mail:bad domain': not a mail target"},
    {{"--domain-zone", "a b", "mail:example.org"}, "--domain-zone a b: not a DNS zone name"},
    {{"--spf-widest-ipv4", "15", "spf:example.org"},
     "--spf-widest-ipv4 15: the prefix must be from 16 to 32"},
    {{"--spf-widest-ipv4", "33", "spf:example.org"}, "--spf-widest-ipv4 33"},
    {{"--spf-widest-ipv6", "111", "spf:example.org"},
     "--spf-widest-ipv6 111: the prefix must be from 112 to 128"},
    {{"--spf-widest-ipv6", "x", "spf:example.org"}, "--spf-widest-ipv6 x"},
};

TEST(CheckOptions, EachBadArgumentIsNamed) {
    for (const auto& c : kBad) {
        const auto parsed = parseCheckOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<CheckUsageError>(parsed)) << c.named;
        EXPECT_NE(std::get<CheckUsageError>(parsed).message.find(c.named), std::string::npos)
            << std::get<CheckUsageError>(parsed).message;
    }
}

TEST(CheckOptions, AProblemStillTellsWhetherNagiosWasAskedFor) {
    const std::vector<std::vector<std::string>> nagios{
        {"--bogus", "--format", "nagios"}, {"--format=nagios"}, {"--format", "nagios", "mail!"}};
    for (const auto& args : nagios) {
        const auto parsed = parseCheckOptions(args);
        ASSERT_TRUE(std::holds_alternative<CheckUsageError>(parsed));
        EXPECT_TRUE(std::get<CheckUsageError>(parsed).nagios) << args.front();
    }
    const auto text = parseCheckOptions({"--bogus", "--format", "json"});
    EXPECT_FALSE(std::get<CheckUsageError>(text).nagios);
}

TEST(CheckOptions, EveryOptionIsRead) {
    const auto parsed =
        parseCheckOptions({"--zone",      "bl.test.",   "--zone=bl2.test",
                           "--zone",      "bl.test",    "--list",
                           "my.txt",      "--timeout",  "0.25",
                           "--server",    "192.0.2.53", "--server=[2001:db8::53]:5353",
                           "--format",    "nagios",     "--quiet",
                           "-w",          "~:2",        "--critical=@1:5",
                           "-H",          "192.0.2.9",  "-t",
                           "3",           "--history",  "h.db",
                           "--changes",   "--page",     "p.html",
                           "--keep-days", "30",         "192.0.2.1",
                           "-",           "--",         "mail.example"});
    ASSERT_TRUE(std::holds_alternative<CheckOptions>(parsed))
        << std::get<CheckUsageError>(parsed).message;
    const auto& o = std::get<CheckOptions>(parsed);
    EXPECT_EQ(o.zones, (std::vector<std::string>{"bl.test", "bl2.test"}));
    EXPECT_EQ(o.listFile, std::filesystem::path("my.txt"));
    EXPECT_EQ(o.timeout, std::chrono::milliseconds(3000));  // the last -t / --timeout
    EXPECT_EQ(o.servers, (std::vector<std::string>{"192.0.2.53:53", "[2001:db8::53]:5353"}));
    EXPECT_EQ(o.format, CheckFormat::Nagios);
    EXPECT_TRUE(o.quiet);
    ASSERT_TRUE(o.warning);
    EXPECT_EQ(o.warning->text, "~:2");
    EXPECT_EQ(o.critical.text, "@1:5");
    EXPECT_TRUE(o.critical.inside);
    EXPECT_EQ(o.historyFile, std::filesystem::path("h.db"));
    EXPECT_TRUE(o.changes);
    EXPECT_EQ(o.page, std::filesystem::path("p.html"));
    EXPECT_EQ(o.keepDays, 30);
    EXPECT_EQ(o.targets, (std::vector<std::string>{"192.0.2.9", "192.0.2.1", "-", "mail.example"}));
}

TEST(CheckOptions, MailOptionsAreRead) {
    const auto parsed =
        parseCheckOptions({"--domain-zone", "dbl.test.", "--domain-zone=dbl2.test", "--domain-zone",
                           "dbl.test", "--spf-widest-ipv4", "/16", "--spf-widest-ipv6=120",
                           "mail:example.org", "MX:Example.org", "spf:example.org"});
    ASSERT_TRUE(std::holds_alternative<CheckOptions>(parsed))
        << std::get<CheckUsageError>(parsed).message;
    const auto& o = std::get<CheckOptions>(parsed);
    EXPECT_EQ(o.domainZones, (std::vector<std::string>{"dbl.test", "dbl2.test"}));
    EXPECT_EQ(o.spfWidestIPv4, 16);
    EXPECT_EQ(o.spfWidestIPv6, 120);
    EXPECT_EQ(o.targets.size(), 3U);
}

TEST(CheckOptions, Defaults) {
    const auto o = std::get<CheckOptions>(parseCheckOptions({"192.0.2.1"}));
    EXPECT_EQ(o.timeout, std::chrono::milliseconds(2000));
    EXPECT_EQ(o.format, CheckFormat::Text);
    // No warning; any listing is critical.
    EXPECT_FALSE(o.warning);
    EXPECT_EQ(o.critical.text, "0");
    EXPECT_FALSE(alerts(o.critical, 0));
    EXPECT_TRUE(alerts(o.critical, 1));
    EXPECT_EQ(o.keepDays, 400);
    EXPECT_FALSE(o.historyFile || o.noHistory || o.changes || o.page || o.quiet);
    EXPECT_TRUE(std::get<CheckOptions>(parseCheckOptions({"--help"})).help);
}

}  // namespace
}  // namespace ostrivane
