#include "app/check_status.h"

#include <gtest/gtest.h>

#include "app/exit_status.h"
#include "support/check_runs.h"

namespace ostrivane {
namespace {

using testing::optionsFor;
using testing::result;
using testing::runOf;

constexpr auto L = CheckVerdict::Listed;
constexpr auto N = CheckVerdict::NotListed;
constexpr auto Q = CheckVerdict::NoAnswer;
constexpr auto B = CheckVerdict::BrokenZone;

CheckRun withFinding(CheckRun run, FindingKind kind) {
    run.findings.push_back({"spf:example.org", kind, "what the expansion found"});
    return run;
}

CheckRun withUnanswered(CheckRun run) {
    run.unansweredTargets = {"silent.example"};
    return run;
}

struct StatusCase {
    const char* what;
    CheckRun run;
    int text;    // text and json
    int nagios;  // with the default thresholds
};

TEST(CheckStatus, ExitStatusOfEachOutcome) {
    const StatusCase cases[] = {
        {"clean", runOf({result("a", "bl.test", N)}), kExitClean, kNagiosOk},
        {"listed", runOf({result("a", "bl.test", L), result("a", "x", Q)}, {"h"}), kExitListed,
         kNagiosCritical},
        {"unresolved beats incomplete", runOf({result("a", "bl.test", Q)}, {"h"}), kExitUnresolved,
         kNagiosUnknown},
        {"nothing resolved", runOf({}, {"h"}), kExitUnresolved, kNagiosUnknown},
        {"incomplete", runOf({result("a", "bl.test", N), result("a", "dead.test", B)}),
         kExitIncomplete, kNagiosWarning},
        {"a mail target's note is no fault",
         withFinding(runOf({result("a", "bl.test", N)}), FindingKind::Note), kExitClean, kNagiosOk},
        {"an SPF permerror is incomplete",
         withFinding(runOf({result("a", "bl.test", N)}), FindingKind::PermError), kExitIncomplete,
         kNagiosWarning},
        {"a mail lookup without an answer is incomplete",
         withFinding(runOf({result("a", "bl.test", N)}), FindingKind::Incomplete), kExitIncomplete,
         kNagiosWarning},
        {"a listing wins over a permerror",
         withFinding(runOf({result("a", "bl.test", L)}), FindingKind::PermError), kExitListed,
         kNagiosCritical},
        {"a host name without an answer is incomplete",
         withUnanswered(runOf({result("a", "bl.test", N)})), kExitIncomplete, kNagiosWarning},
        {"a listing beats a host name without an answer",
         withUnanswered(runOf({result("a", "bl.test", L)})), kExitListed, kNagiosCritical},
        {"an unresolved name beats an unanswered one",
         withUnanswered(runOf({result("a", "bl.test", N)}, {"h"})), kExitUnresolved,
         kNagiosUnknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkExitStatus(c.run, optionsFor(CheckFormat::Text)), c.text) << c.what;
        EXPECT_EQ(checkExitStatus(c.run, optionsFor(CheckFormat::Json)), c.text) << c.what;
        EXPECT_EQ(checkExitStatus(c.run, optionsFor(CheckFormat::Nagios)), c.nagios) << c.what;
    }
}

TEST(CheckStatus, NagiosThresholdsCountListings) {
    const auto run = runOf({result("a", "bl.test", L), result("b", "bl.test", L)});
    const auto range = [](const char* text) {
        return std::get<ThresholdRange>(parseThresholdRange(text));
    };
    struct Case {
        const char* warning;  // none: no --warning
        const char* critical;
        int state;  // of two listings
    };
    const Case cases[] = {
        {nullptr, "0", kNagiosCritical},  // the default: any listing
        {"1", "2", kNagiosWarning},       // more than 1 warns, more than 2 is critical
        {"1", "1", kNagiosCritical},     {"2", "3", kNagiosOk},
        {"~:1", "@5:", kNagiosWarning},  {nullptr, "@2:2", kNagiosCritical},
        {"3:", "~:", kNagiosWarning},  // fewer than 3 listings warns
    };
    for (const auto& c : cases) {
        auto options = optionsFor(CheckFormat::Nagios);
        if (c.warning) {
            options.warning = range(c.warning);
        }
        options.critical = range(c.critical);
        EXPECT_EQ(checkExitStatus(run, options), c.state)
            << (c.warning ? c.warning : "-") << " " << c.critical;
    }
}

TEST(CheckStatus, ChangesAndWhatCameAfterTheRun) {
    const auto newListing = runOf({result("192.0.2.1", "bl.test", L, ListingChange::New)});
    const auto ongoingOnly = runOf(
        {result("192.0.2.2", "bl.test", L, ListingChange::Ongoing), result("a", "dead.test", B)});
    const auto clean = runOf({result("a", "bl.test", N)});
    const auto changes = optionsFor(CheckFormat::Text, true);
    const auto nagios = optionsFor(CheckFormat::Nagios, true);
    const HistoryAndPageOutcome noPage{false, false};
    const HistoryAndPageOutcome noHistory{true, true};
    EXPECT_EQ(checkExitStatus(newListing, changes), kExitListed);
    EXPECT_EQ(checkExitStatus(ongoingOnly, changes), kExitClean);
    EXPECT_EQ(checkExitStatus(ongoingOnly, nagios), kNagiosCritical);
    // Nobody can say what changed: never "nothing changed"; nagios goes by listings.
    EXPECT_EQ(checkExitStatus(ongoingOnly, changes, noHistory), kExitFailed);
    EXPECT_EQ(checkExitStatus(ongoingOnly, nagios, noHistory), kNagiosCritical);
    // A page not written spoils an all-clear only.
    EXPECT_EQ(checkExitStatus(clean, optionsFor(CheckFormat::Text), noPage), kExitFailed);
    EXPECT_EQ(checkExitStatus(clean, optionsFor(CheckFormat::Nagios), noPage), kNagiosUnknown);
    EXPECT_EQ(checkExitStatus(newListing, optionsFor(CheckFormat::Json), noPage), kExitListed);
}

}  // namespace
}  // namespace ostrivane
