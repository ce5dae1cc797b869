#include "check/check_output.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrivane {
namespace {

CheckResult result(std::string address, std::string zone, CheckVerdict verdict,
                   std::optional<ListingChange> change = std::nullopt,
                   std::optional<EpochMs> since = std::nullopt) {
    CheckResult r;
    r.target = address;
    r.address = std::move(address);
    r.zone = std::move(zone);
    r.verdict = verdict;
    if (verdict == CheckVerdict::Listed) {
        r.answers = {"127.0.0.2"};
        r.reason = "see\x1b[2J https://bl.test/\n";
    }
    r.change = change;
    r.since = since;
    return r;
}

CheckRun runOf(std::vector<CheckResult> results, std::vector<std::string> unresolved = {}) {
    CheckRun run;
    run.startedAt = 1796659962000;  // 2026-12-07T16:12:42Z
    run.durationMs = 81;
    run.zones = {{"bl.test", "Test", ZoneHealth::Healthy},
                 {"dead.test", "", ZoneHealth::EmptyOrDead}};
    run.results = std::move(results);
    run.unresolvedTargets = std::move(unresolved);
    return run;
}

CheckOptions optionsFor(CheckFormat format, bool changes = false) {
    CheckOptions options;
    options.format = format;
    options.changes = changes;
    return options;
}

std::string printed(const CheckRun& run, const CheckOptions& options) {
    std::ostringstream out;
    printCheckRun(run, options, out);
    return out.str();
}

constexpr auto L = CheckVerdict::Listed;
constexpr auto N = CheckVerdict::NotListed;
constexpr auto Q = CheckVerdict::NoAnswer;
constexpr auto B = CheckVerdict::BrokenZone;

struct StatusCase {
    const char* what;
    CheckRun run;
    int text;    // text and json
    int nagios;  // with --warning 1 --critical 1
};

TEST(CheckOutput, ExitStatusOfEachOutcome) {
    const StatusCase cases[] = {
        {"clean", runOf({result("a", "bl.test", N)}), kCheckClean, kNagiosOk},
        {"listed", runOf({result("a", "bl.test", L), result("a", "x", Q)}, {"h"}), kCheckListed,
         kNagiosCritical},
        {"unresolved beats incomplete", runOf({result("a", "bl.test", Q)}, {"h"}), kCheckUnresolved,
         kNagiosUnknown},
        {"nothing resolved", runOf({}, {"h"}), kCheckUnresolved, kNagiosUnknown},
        {"incomplete", runOf({result("a", "bl.test", N), result("a", "dead.test", B)}),
         kCheckIncomplete, kNagiosWarning},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkExitStatus(c.run, optionsFor(CheckFormat::Text)), c.text) << c.what;
        EXPECT_EQ(checkExitStatus(c.run, optionsFor(CheckFormat::Json)), c.text) << c.what;
        EXPECT_EQ(checkExitStatus(c.run, optionsFor(CheckFormat::Nagios)), c.nagios) << c.what;
    }
}

TEST(CheckOutput, NagiosThresholdsCountListings) {
    const auto run = runOf({result("a", "bl.test", L), result("b", "bl.test", L)});
    auto options = optionsFor(CheckFormat::Nagios);
    options.warning = 2;
    options.critical = 3;
    EXPECT_EQ(checkExitStatus(run, options), kNagiosWarning);
    options.warning = 3;
    EXPECT_EQ(checkExitStatus(run, options), kNagiosOk);
}

TEST(CheckOutput, ChangesOnlyStatusAndLines) {
    const auto newListing =
        runOf({result("192.0.2.1", "bl.test", L, ListingChange::New),
               result("192.0.2.2", "bl.test", L, ListingChange::Ongoing, 1796659962000 - 86400000),
               result("192.0.2.3", "bl.test", N, ListingChange::Cleared)});
    const auto ongoingOnly = runOf(
        {result("192.0.2.2", "bl.test", L, ListingChange::Ongoing), result("a", "dead.test", B)});
    EXPECT_EQ(checkExitStatus(newListing, optionsFor(CheckFormat::Text, true)), kCheckListed);
    EXPECT_EQ(checkExitStatus(ongoingOnly, optionsFor(CheckFormat::Text, true)), kCheckClean);
    EXPECT_EQ(checkExitStatus(ongoingOnly, optionsFor(CheckFormat::Nagios, true)), kNagiosCritical);

    const auto all = printed(newListing, optionsFor(CheckFormat::Text));
    EXPECT_NE(all.find("new"), std::string::npos) << all;
    EXPECT_NE(all.find("since 2026-12-06T16:12:42Z"), std::string::npos) << all;
    EXPECT_NE(all.find("cleared"), std::string::npos) << all;
    const auto changed = printed(newListing, optionsFor(CheckFormat::Text, true));
    EXPECT_NE(changed.find("192.0.2.1"), std::string::npos) << changed;
    EXPECT_EQ(changed.find("192.0.2.2"), std::string::npos) << changed;
    EXPECT_NE(changed.find("192.0.2.3"), std::string::npos) << changed;
    EXPECT_NE(changed.find("Summary: "), std::string::npos) << changed;

    const auto json = printed(newListing, optionsFor(CheckFormat::Json));
    EXPECT_NE(json.find(R"("change": "new", "since": null)"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("change": "ongoing", "since": "2026-12-06T16:12:42Z")"),
              std::string::npos)
        << json;
}

TEST(CheckOutput, ListsWordsCannotBreakTheOutput) {
    auto run = runOf({result("192.0.2.1", "bl.test", L)});
    run.results[0].reason += "|\xff\"";
    const auto text = printed(run, optionsFor(CheckFormat::Text));
    // A byte that is not UTF-8 is shown escaped too: it could start a sequence
    // that the terminal reads with what follows.
    EXPECT_NE(text.find(R"(see\x1b[2J https://bl.test/\n|\xff")"), std::string::npos) << text;
    const auto json = printed(run, optionsFor(CheckFormat::Json));
    EXPECT_NE(json.find(R"("reason": "see\u001b[2J https://bl.test/\u000a|\ufffd\"")"),
              std::string::npos)
        << json;
    const auto nagios = printed(run, optionsFor(CheckFormat::Nagios));
    EXPECT_EQ(nagios,
              "OSTRIVANE CRITICAL - 192.0.2.1 listed on bl.test | listed=1;1;1;0;1 no_answer=0 "
              "broken_zones=1 time=0.081s\n"
              "192.0.2.1 listed on bl.test (127.0.0.2): see\\x1b[2J https://bl.test/\\n/\\xff\"\n");
}

TEST(CheckOutput, TextAlignsColumnsAndQuietHidesClean) {
    const auto run = runOf({result("192.0.2.1", "bl.test", N), result("192.0.2.1", "dead.test", B)},
                           {"nowhere.example"});
    EXPECT_EQ(printed(run, optionsFor(CheckFormat::Text)),
              "192.0.2.1\n"
              "  bl.test    not-listed\n"
              "  dead.test  broken-zone\n"
              "nowhere.example: does not resolve to any address\n"
              "Summary: 1 address, 2 zones; listed 0, not-listed 1, no-answer 0, list-error 0, "
              "broken-zone 1; unresolved targets 1\n");
    auto quiet = optionsFor(CheckFormat::Text);
    quiet.quiet = true;
    EXPECT_EQ(printed(runOf({result("192.0.2.1", "bl.test", N)}), quiet), "");
}

TEST(CheckOutput, Rfc3339) {
    EXPECT_EQ(formatRfc3339(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(formatRfc3339(1796659962999), "2026-12-07T16:12:42Z");
}

}  // namespace
}  // namespace ostrivane
