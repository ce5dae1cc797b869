#include "app/serve_command_line.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

TEST(ServeCommandLine, NamesWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        std::string named;  // the message must hold this
    } cases[] = {
        {{}, "no target"},
        {{"127.0.0.1:9716"}, "no target"},
        {{"192.0.2.1"}, "192.0.2.1: not [ADDRESS]:PORT"},
        {{":0", "--target", "192.0.2.1"}, ":0: not [ADDRESS]:PORT"},
        {{":9716", ":9717", "--target", "192.0.2.1"}, ":9717: one address"},
        {{"--target", "-"}, "--target -: the exporter reads no targets"},
        {{"--target", "mail!"}, "--target 'mail!'"},
        {{"--target", "192.0.2.0/8"}, "--target '192.0.2.0/8'"},
        {{"--target"}, "--target: needs a value"},
        {{"--target", "192.0.2.1", "--interval", "59"}, "--interval 59: at least 60"},
        {{"--target", "192.0.2.1", "--interval", "x"}, "--interval x"},
        {{"--target", "192.0.2.1", "--probe-rate", "0"}, "--probe-rate 0"},
        {{"--target", "192.0.2.1", "--probe-burst", "-3"}, "--probe-burst -3"},
        {{"--target", "192.0.2.1", "--probe-addresses", "0"}, "--probe-addresses 0"},
        {{"--target", "192.0.2.1", "--format", "json"}, "--format: unknown option"},
        {{"--target", "192.0.2.1", "--page", "p.html"}, "--page: unknown option"},
        {{"--target", "192.0.2.1", "--zone", "a..b"}, "--zone a..b"},
        {{"--target", "192.0.2.1", "--server", "ns.example"}, "--server ns.example"},
        {{"--target", "192.0.2.1", "--history", "h", "--no-history"}, "--no-history"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseServeOptions(c.args);
        const auto* error = std::get_if<ServeUsageError>(&parsed);
        ASSERT_NE(error, nullptr) << c.named;
        EXPECT_NE(error->message.find(c.named), std::string::npos)
            << "wanted '" << c.named << "' in '" << error->message << "'";
    }
}

TEST(ServeCommandLine, TakesTheAddressTargetsAndCheckOptions) {
    const auto parsed = parseServeOptions(
        {"[::1]:9000", "--target", "192.0.2.1", "--target=mx.test", "--zone", "bl.test.",
         "--server", "127.0.0.1:5353", "--timeout", "1.5", "--interval", "60", "--probe-rate", "2",
         "--probe-burst", "3", "--no-history"});
    ASSERT_TRUE(std::holds_alternative<ServeOptions>(parsed))
        << std::get<ServeUsageError>(parsed).message;
    const auto& o = std::get<ServeOptions>(parsed);
    EXPECT_EQ(o.settings.listen.host, "::1");
    EXPECT_EQ(o.settings.listen.port, 9000);
    EXPECT_EQ(o.settings.interval, std::chrono::seconds(60));
    EXPECT_EQ(o.check.targets, (std::vector<std::string>{"192.0.2.1", "mx.test"}));
    EXPECT_EQ(o.check.zones, (std::vector<std::string>{"bl.test"}));
    EXPECT_EQ(o.check.servers, (std::vector<std::string>{"127.0.0.1:5353"}));
    EXPECT_EQ(o.check.timeout, std::chrono::milliseconds(1500));
    EXPECT_EQ(o.probeLimits.perSecond, 2);
    EXPECT_EQ(o.probeLimits.burst, 3);
    EXPECT_TRUE(o.check.noHistory);

    const auto defaults = parseServeOptions({"--target", "192.0.2.1"});
    const auto& d = std::get<ServeOptions>(defaults);
    EXPECT_EQ(d.settings.listen.host, "127.0.0.1");
    EXPECT_EQ(d.settings.listen.port, 9716);
    EXPECT_EQ(d.settings.interval, std::chrono::seconds(900));
    EXPECT_EQ(d.probeLimits.perSecond, 5);
    EXPECT_EQ(d.probeLimits.burst, 10);
}

// The config file's settings under the command line's: --target and --server
// replace the config's lists, other options win one by one; a bad target of
// the config names its file and line.
TEST(ServeCommandLine, TheConfigFileUnderTheCommandLine) {
    const std::string config = R"(timeout = 1.5
interval = 120
targets = ["192.0.2.25",
           "mail:example.org"]
servers = ["127.0.0.1:5300"]
[nagios]
warning = "2"
)";
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> args;
        std::vector<std::string> targets;  // empty: an error holding `problem`
        std::string problem;
        std::chrono::seconds interval{120};
        std::chrono::milliseconds timeout{1500};
        std::string server = "127.0.0.1:5300";
    } cases[] = {
        {"the config's targets, interval, time-out and servers",
         config,
         {},
         {"192.0.2.25", "mail:example.org"},
         ""},
        {"--target replaces the config's targets",
         config,
         {"--target", "192.0.2.9"},
         {"192.0.2.9"},
         ""},
        {"options win one by one",
         config,
         {"--interval", "60", "--timeout", "3", "--server", "127.0.0.2"},
         {"192.0.2.25", "mail:example.org"},
         "",
         std::chrono::seconds(60),
         std::chrono::milliseconds(3000),
         "127.0.0.2:53"},
        {"a bad target of the config",
         "timeout = 1.5\n\ntargets = [\"192.0.2.1\", \"mail!\"]\n",
         {},
         {},
         "ostrivane.toml: line 3: target 'mail!'"},
        {"a bad target on its own line",
         "targets = [\n  \"192.0.2.1\",\n  \"300.1.1.1/8\",\n]\n",
         {},
         {},
         "ostrivane.toml: line 3: target '300.1.1.1/8'"},
        {"no standard input",
         "targets = [\"-\"]\n",
         {},
         {},
         "ostrivane.toml: line 1: target '-': the exporter reads no targets"},
        {"a bad target of the config is not read when --target is given",
         "targets = [\"mail!\"]\n",
         {"--target", "192.0.2.9"},
         {"192.0.2.9"},
         "",
         std::chrono::seconds(900),
         std::chrono::milliseconds(2000),
         ""},
        {"no target anywhere", "timeout = 1\n", {}, {}, "no target given"},
        {"a bad server of the config",
         "targets = [\"192.0.2.1\"]\nservers = [\"ns.example\"]\n",
         {},
         {},
         "servers in the config file: \"ns.example\""},
        {"--no-history over the config's history file",
         "targets = [\"192.0.2.1\"]\n[history]\nfile = \"/var/h.sqlite\"\n",
         {"--no-history"},
         {"192.0.2.1"},
         "",
         std::chrono::seconds(900),
         std::chrono::milliseconds(2000),
         ""},
    };
    for (const auto& c : cases) {
        Config settings;
        const auto problem = applyConfigText({"ostrivane.toml", c.text}, settings);
        ASSERT_FALSE(problem) << c.what << ": " << problem->message();
        const auto parsed = parseServeOptions(c.args, settings);
        if (c.targets.empty()) {
            const auto* error = std::get_if<ServeUsageError>(&parsed);
            ASSERT_NE(error, nullptr) << c.what;
            EXPECT_NE(error->message.find(c.problem), std::string::npos)
                << c.what << ": " << error->message;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<ServeOptions>(parsed))
            << c.what << ": " << std::get<ServeUsageError>(parsed).message;
        const auto& o = std::get<ServeOptions>(parsed);
        EXPECT_EQ(o.check.targets, c.targets) << c.what;
        EXPECT_EQ(o.settings.interval, c.interval) << c.what;
        EXPECT_EQ(o.check.timeout, c.timeout) << c.what;
        EXPECT_EQ(o.check.servers,
                  c.server.empty() ? std::vector<std::string>{} : std::vector{c.server})
            << c.what;
    }
}

}  // namespace
}  // namespace ostrivane
