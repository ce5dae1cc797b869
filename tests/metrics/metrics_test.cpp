#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "metrics/check_metrics.h"
#include "metrics/metric_family.h"

namespace ostrivane {
namespace {

TEST(LabelValue, EscapesWhatTheFormatsQuoteAndReplacesBrokenUtf8) {
    struct Case {
        const char* what;
        std::string value;
        std::string escaped;
    } cases[] = {
        {"plain", "bl.test", "bl.test"},
        {"backslash", R"(a\b)", R"(a\\b)"},
        {"double quote", R"(say "hi")", R"(say \"hi\")"},
        {"line feed", "one\ntwo", R"(one\ntwo)"},
        {"carriage return kept", "a\rb", "a\rb"},
        {"UTF-8 kept", "Zürich ☃", "Zürich ☃"},
        {"stray byte",
         "a\xff"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"cut sequence", "\xC3", "\xEF\xBF\xBD"},
        {"closing brace and comma", "a},b=\"c", R"(a},b=\"c)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escapeLabelValue(c.value), c.escaped) << c.what;
    }
}

TEST(MetricValue, ShortestTextThatReadsBack) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {1, "1"},
        {0, "0"},
        {0.004, "0.004"},
        {1796675444.188, "1796675444.188"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "+Inf"},
        {-std::numeric_limits<double>::infinity(), "-Inf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatMetricValue(c.value), c.text);
    }
}

TEST(RenderMetrics, TheTwoFormatsDifferInCounterNamesUnitsAndTheEnd) {
    const std::vector<MetricFamily> families = {
        {"x_checks", "Checks.", MetricType::Counter, {}, {{{}, 3}}},
        {"x_took_seconds", "Time \\ taken\n.", MetricType::Gauge, "seconds", {{{}, 0.5}}},
        {"x_unused", "Never shown.", MetricType::Gauge, {}, {}},
        {"x_up", "Up.", MetricType::Gauge, {}, {{{{"a", "1"}, {"b", "\""}}, 1}}},
    };
    struct Case {
        MetricsFormat format;
        std::string text;
    } cases[] = {
        {MetricsFormat::Prometheus,
         "# HELP x_checks_total Checks.\n# TYPE x_checks_total counter\nx_checks_total 3\n"
         "# HELP x_took_seconds Time \\\\ taken\\n.\n# TYPE x_took_seconds gauge\n"
         "x_took_seconds 0.5\n"
         "# HELP x_up Up.\n# TYPE x_up gauge\nx_up{a=\"1\",b=\"\\\"\"} 1\n"},
        {MetricsFormat::OpenMetrics,
         "# HELP x_checks Checks.\n# TYPE x_checks counter\nx_checks_total 3\n"
         "# HELP x_took_seconds Time \\\\ taken\\n.\n# TYPE x_took_seconds gauge\n"
         "# UNIT x_took_seconds seconds\nx_took_seconds 0.5\n"
         "# HELP x_up Up.\n# TYPE x_up gauge\nx_up{a=\"1\",b=\"\\\"\"} 1\n# EOF\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(renderMetrics(families, c.format), c.text);
    }
}

CheckResult resultOf(std::string address, std::string zone, CheckVerdict verdict,
                     std::vector<std::string> answers = {}) {
    CheckResult result;
    result.target = address == "192.0.2.10" ? "listed.test" : address;
    result.address = std::move(address);
    result.zone = std::move(zone);
    result.verdict = verdict;
    result.answers = std::move(answers);
    return result;
}

CheckRun sampleRun() {
    CheckRun run;
    run.startedAt = 1796659962500;
    run.durationMs = 81;
    run.zones = {
        {"bl.test", "Test \"list\"", ZoneHealth::Healthy, ZoneHealth::Healthy,
         ZoneHealth::EmptyOrDead},
        {"dead.test", "", ZoneHealth::EmptyOrDead},
        {"err.test", "", ZoneHealth::RefusesUs, ZoneHealth::RefusesUs, ZoneHealth::RefusesUs}};
    run.results = {
        resultOf("192.0.2.10", "bl.test", CheckVerdict::Listed, {"127.0.0.4", "127.0.0.2"}),
        resultOf("192.0.2.10", "dead.test", CheckVerdict::BrokenZone),
        resultOf("192.0.2.10", "err.test", CheckVerdict::ListError, {"127.255.255.254"}),
        resultOf("192.0.2.20", "bl.test", CheckVerdict::NotListed),
        resultOf("192.0.2.20", "dead.test", CheckVerdict::BrokenZone),
        resultOf("192.0.2.20", "err.test", CheckVerdict::NoAnswer),
    };
    run.results[0].change = ListingChange::New;
    // Decoded by the catalog: its words go into the labels as they are, escaped.
    run.results[0].meanings = {{"policy-listing", "PBL: \"end-user\" range\\ \nno mail"},
                               {"listing", "test point"}};
    run.unresolvedTargets = {"nowhere.test"};
    run.unansweredTargets = {"slow.test"};
    return run;
}

const MetricFamily& familyNamed(const std::vector<MetricFamily>& families, std::string_view name) {
    for (const auto& family : families) {
        if (family.name == name) {
            return family;
        }
    }
    static const MetricFamily none;
    ADD_FAILURE() << "no family " << name;
    return none;
}

TEST(CheckRunMetrics, SamplesSayWhatTheRunFound) {
    const auto families = checkRunFamilies(sampleRun());
    const auto page = renderMetrics(families, MetricsFormat::Prometheus);
    struct Case {
        const char* what;
        std::string line;
        bool present;
    } cases[] = {
        {"a listing is 1, with the target and the list's name",
         R"(ostrivane_listed{subject="192.0.2.10",target="listed.test",zone="bl.test",list="Test \"list\""} 1)",
         true},
        {"a clean verdict is 0",
         R"(ostrivane_listed{subject="192.0.2.20",target="192.0.2.20",zone="bl.test",list="Test \"list\""} 0)",
         true},
        {"a broken zone's verdict is never 0",
         R"(ostrivane_listed{subject="192.0.2.10",target="listed.test",zone="dead.test")", false},
        {"a list error is never a listing",
         R"(ostrivane_listed{subject="192.0.2.10",target="listed.test",zone="err.test")", false},
        {"no answer is never clean",
         R"(ostrivane_listed{subject="192.0.2.20",target="192.0.2.20",zone="err.test")", false},
        {"each answer code, in order",
         R"(ostrivane_answer_info{subject="192.0.2.10",zone="bl.test",list="Test \"list\"",answer="127.0.0.4",class="policy-listing",meaning="PBL: \"end-user\" range\\ \nno mail"} 1)",
         true},
        {"the catalog's meaning of the second answer",
         R"(answer="127.0.0.2",class="listing",meaning="test point"} 1)", true},
        {"an error code is classed as one",
         R"(ostrivane_answer_info{subject="192.0.2.10",zone="err.test",list="",answer="127.255.255.254",class="list-error",meaning=""} 1)",
         true},
        {"a healthy list",
         R"(ostrivane_list_healthy{zone="bl.test",list="Test \"list\"",family="ipv4"} 1)", true},
        {"a dead list", R"(ostrivane_list_healthy{zone="dead.test",list="",family="ipv4"} 0)",
         true},
        {"each family by its own test points",
         R"(ostrivane_list_healthy{zone="bl.test",list="Test \"list\"",family="ipv6"} 0)", true},
        {"its state",
         R"(ostrivane_list_health_info{zone="dead.test",list="",family="ipv4",health="empty-or-dead"} 1)",
         true},
        {"counts by verdict", R"(ostrivane_last_check_results{verdict="broken-zone"} 2)", true},
        {"a verdict nobody got is 0", R"(ostrivane_last_check_results{verdict="listed"} 1)", true},
        {"subjects counted once", "ostrivane_last_check_subjects 2\n", true},
        {"new listings", "ostrivane_last_check_new_listings 1\n", true},
        {"unresolved target", R"(ostrivane_target_unresolved{target="nowhere.test"} 1)", true},
        {"unanswered host name", R"(ostrivane_target_unanswered{target="slow.test"} 1)", true},
        {"duration in seconds", "ostrivane_last_check_duration_seconds 0.081\n", true},
        {"start in seconds", "ostrivane_last_check_timestamp_seconds 1796659962.5\n", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(page.find(c.line) != std::string::npos, c.present) << c.what << "\n" << page;
    }
    EXPECT_EQ(familyNamed(families, "ostrivane_listed").samples.size(), 2u);
    EXPECT_EQ(familyNamed(families, "ostrivane_answer_info").samples.size(), 3u);
}

// Answers the catalog did not decode (a list not in it).
TEST(CheckRunMetrics, UndecodedAnswersTakeTheirMeaningFromTheDescriber) {
    const auto families =
        checkRunFamilies(sampleRun(), [](std::string_view zone, std::string_view answer) {
            return AnswerMeaning{"policy", std::string(zone) + " says " + std::string(answer)};
        });
    const auto& answers = familyNamed(families, "ostrivane_answer_info").samples;
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[1].labels[5].second, "test point");
    EXPECT_EQ(answers[2].labels[4].second, "policy");
    EXPECT_EQ(answers[2].labels[5].second, "err.test says 127.255.255.254");
}

TEST(CheckRunMetrics, ClassByRangeWithoutACatalog) {
    struct Case {
        const char* answer;
        const char* answerClass;
    } cases[] = {
        {"127.0.0.2", "listing"},          {"127.0.1.2", "listing"},
        {"127.255.255.254", "list-error"}, {"127.255.254.1", "listing"},
        {"192.0.2.1", "list-error"},       {"127.0.0", "list-error"},
        {"127.0.0.256", "list-error"},     {"127.0.0.2.", "list-error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeAnswerByRange("bl.test", c.answer).answerClass, c.answerClass)
            << c.answer;
    }
}

TEST(ProbeMetrics, SuccessOnlyWhenEveryVerdictIsIn) {
    auto run = sampleRun();
    const auto page = [](const CheckRun& r) {
        return renderMetrics(probeFamilies(r), MetricsFormat::Prometheus);
    };
    EXPECT_NE(page(run).find("ostrivane_probe_success 0\n"), std::string::npos);
    run.results = {run.results[0], run.results[3]};
    EXPECT_NE(page(run).find("ostrivane_probe_success 0\n"), std::string::npos) << "unresolved";
    run.unresolvedTargets.clear();
    EXPECT_NE(page(run).find("ostrivane_probe_success 0\n"), std::string::npos) << "unanswered";
    run.unansweredTargets.clear();
    EXPECT_NE(page(run).find("ostrivane_probe_success 1\n"), std::string::npos);
    EXPECT_EQ(page(run).find("ostrivane_last_check"), std::string::npos);
}

TEST(ExporterMetrics, CountersAreTotals) {
    ExporterCounters counters;
    counters.checks = 4;
    counters.probesRateLimited = 2;
    const auto page = renderMetrics(exporterFamilies(counters), MetricsFormat::Prometheus);
    EXPECT_NE(page.find("# TYPE ostrivane_checks_total counter\nostrivane_checks_total 4\n"),
              std::string::npos);
    EXPECT_NE(page.find("ostrivane_probes_total{outcome=\"rate-limited\"} 2\n"), std::string::npos);
}

}  // namespace
}  // namespace ostrivane
