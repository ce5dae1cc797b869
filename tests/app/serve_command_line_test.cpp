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

}  // namespace
}  // namespace ostrivane
