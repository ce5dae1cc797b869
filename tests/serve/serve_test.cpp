#include <gtest/gtest.h>

#include "serve/exporter.h"
#include "serve/listen_address.h"
#include "serve/request_limits.h"

namespace ostrivane {
namespace {

using namespace std::chrono_literals;

TEST(TokenBucket, BurstThenRateAndNeverMoreThanTheBurst) {
    const auto t0 = TokenBucket::Clock::time_point{} + 100s;
    TokenBucket bucket(5, 10, t0);
    struct Step {
        std::chrono::milliseconds at;
        int taken;  // of as many as asked
        int asked;
    } steps[] = {
        {0ms, 10, 12},      // the burst, then nothing
        {100ms, 0, 1},      // half a token
        {200ms, 1, 2},      // one token after a fifth of a second
        {1200ms, 5, 6},     // five a second
        {60000ms, 10, 20},  // a long quiet spell saves up only the burst
    };
    for (const auto& step : steps) {
        int taken = 0;
        for (int i = 0; i < step.asked; ++i) {
            taken += bucket.tryTake(t0 + step.at) ? 1 : 0;
        }
        EXPECT_EQ(taken, step.taken) << "at " << step.at.count() << " ms";
    }
}

TEST(ConcurrencyGate, TurnsAwayBeyondTheLimitAndLetsInWhenOneLeaves) {
    ConcurrencyGate gate(2);
    auto first = gate.tryEnter();
    {
        auto second = gate.tryEnter();
        EXPECT_TRUE(first);
        EXPECT_TRUE(second);
        EXPECT_FALSE(gate.tryEnter());
    }
    EXPECT_TRUE(gate.tryEnter());
}

TEST(ListenAddress, TakesAddressAndPort) {
    struct Case {
        const char* text;
        bool valid;
        const char* host;
        int port;
    } cases[] = {
        {"127.0.0.1:9716", true, "127.0.0.1", 9716},
        {":9716", true, "127.0.0.1", 9716},
        {"0.0.0.0:80", true, "0.0.0.0", 80},
        {"[::1]:9716", true, "::1", 9716},
        {"[::]:1", true, "::", 1},
        {"9716", false, "", 0},
        {"127.0.0.1", false, "", 0},
        {"127.0.0.1:0", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:97x", false, "", 0},
        {"127.0.0.1:-1", false, "", 0},
        {"::1:9716", false, "", 0},
        {"[127.0.0.1]:9716", false, "", 0},
        {"localhost:9716", false, "", 0},
        {"[::1:9716", false, "", 0},
    };
    for (const auto& c : cases) {
        const auto address = parseListenAddress(c.text);
        ASSERT_EQ(address.has_value(), c.valid) << c.text;
        if (address) {
            EXPECT_EQ(address->host, c.host) << c.text;
            EXPECT_EQ(address->port, c.port) << c.text;
        }
    }
}

CheckRun runFor(const std::string& target, const std::vector<std::string>& zones) {
    CheckRun run;
    for (const auto& zone : zones) {
        run.zones.push_back({zone, "", ZoneHealth::Healthy});
        run.results.push_back(
            {target, target, zone, CheckVerdict::Listed, {"127.0.0.2"}, {}, {}, {}});
    }
    return run;
}

struct ProbeFixture {
    std::vector<std::vector<std::string>> asked;  // the zones of each probe run
    Exporter exporter;

    explicit ProbeFixture(ProbeLimits limits = {1, 1000, 4})
        : exporter(limits,
                   [this](const std::string& target, const std::vector<std::string>& zones)
                       -> std::variant<CheckRun, ProbeRefusal> {
                       asked.push_back(zones);
                       if (target == "bad") {
                           return ProbeRefusal{400, "target: not an address"};
                       }
                       if (target == "wide") {
                           return ProbeRefusal{422, "the target covers 512 addresses"};
                       }
                       return runFor(target, zones);
                   }) {
        exporter.setZones({"bl.test", "bl2.test"});
    }
};

TEST(Probe, AnswersBadRequestsWithTheReasonAndAsksNothing) {
    struct Case {
        const char* what;
        QueryParameters parameters;
        int status;
        const char* reason;  // in the body
    } cases[] = {
        {"no target", {}, 400, "one 'target'"},
        {"empty target", {{"target", ""}}, 400, "one 'target'"},
        {"target twice", {{"target", "192.0.2.1"}, {"target", "192.0.2.2"}}, 400, "more than once"},
        {"too long", {{"target", std::string(256, 'a')}}, 400, "at most 255"},
        {"unknown parameter", {{"target", "192.0.2.1"}, {"module", "x"}}, 400, "unknown parameter"},
        {"zone not configured",
         {{"target", "192.0.2.1"}, {"zone", "other.test"}},
         400,
         "not one of"},
        {"zone twice",
         {{"target", "192.0.2.1"}, {"zone", "bl.test"}, {"zone", "bl.test"}},
         400,
         "more than once"},
    };
    for (const auto& c : cases) {
        ProbeFixture fixture;
        const auto reply = fixture.exporter.probe(c.parameters);
        EXPECT_EQ(reply.status, c.status) << c.what;
        EXPECT_NE(reply.body.find(c.reason), std::string::npos) << c.what << ": " << reply.body;
        EXPECT_TRUE(fixture.asked.empty()) << c.what;
    }
}

TEST(Probe, AsksTheConfiguredListsOrTheOneNamed) {
    struct Case {
        QueryParameters parameters;
        std::vector<std::string> zones;
        int status;
    } cases[] = {
        {{{"target", "192.0.2.1"}}, {"bl.test", "bl2.test"}, 200},
        {{{"target", "192.0.2.1"}, {"zone", "bl2.test"}}, {"bl2.test"}, 200},
        {{{"target", "192.0.2.1"}, {"zone", "bl2.test."}}, {"bl2.test"}, 200},
        {{{"target", "bad"}}, {"bl.test", "bl2.test"}, 400},
        {{{"target", "wide"}}, {"bl.test", "bl2.test"}, 422},
    };
    for (const auto& c : cases) {
        ProbeFixture fixture;
        const auto reply = fixture.exporter.probe(c.parameters);
        EXPECT_EQ(reply.status, c.status) << reply.body;
        ASSERT_EQ(fixture.asked.size(), 1u);
        EXPECT_EQ(fixture.asked[0], c.zones);
        // A target too wide is the probe's refusal, not a bad request.
        const auto page = fixture.exporter.metrics("").body;
        EXPECT_EQ(
            page.find("ostrivane_probes_total{outcome=\"too-large\"} 1\n") != std::string::npos,
            c.status == 422)
            << page;
        EXPECT_EQ(
            page.find("ostrivane_errors_total{kind=\"bad-request\"} 1\n") != std::string::npos,
            c.status == 400)
            << page;
    }
}

TEST(Probe, BeyondTheRateAnswers429AndCountsIt) {
    ProbeFixture fixture({0.001, 3, 4});
    std::vector<int> statuses;
    for (int i = 0; i < 5; ++i) {
        statuses.push_back(fixture.exporter.probe({{"target", "192.0.2.1"}}).status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 429, 429}));
    EXPECT_EQ(fixture.asked.size(), 3u);
    const auto page = fixture.exporter.metrics("").body;
    EXPECT_NE(page.find("ostrivane_probes_total{outcome=\"rate-limited\"} 2\n"), std::string::npos);
    EXPECT_NE(page.find("ostrivane_probes_total{outcome=\"checked\"} 3\n"), std::string::npos);
}

TEST(Metrics, NegotiatesOpenMetricsAndShowsTheLatestCheck) {
    ProbeFixture fixture;
    EXPECT_EQ(fixture.exporter.metrics("").body.find("ostrivane_listed"), std::string::npos);
    fixture.exporter.publish(runFor("192.0.2.1", {"bl.test"}));
    struct Case {
        const char* accept;
        const char* contentType;
        bool endsWithEof;
    } cases[] = {
        {"", "text/plain; version=0.0.4; charset=utf-8", false},
        {"text/plain;version=0.0.4;q=0.5,*/*;q=0.1", "text/plain; version=0.0.4; charset=utf-8",
         false},
        {"application/openmetrics-text;version=1.0.0,text/plain;q=0.5",
         "application/openmetrics-text; version=1.0.0; charset=utf-8", true},
    };
    for (const auto& c : cases) {
        const auto reply = fixture.exporter.metrics(c.accept);
        EXPECT_EQ(reply.contentType, c.contentType);
        EXPECT_EQ(reply.body.ends_with("# EOF\n"), c.endsWithEof) << c.accept;
        EXPECT_NE(reply.body.find("ostrivane_listed{subject=\"192.0.2.1\""), std::string::npos);
    }
}

}  // namespace
}  // namespace ostrivane
