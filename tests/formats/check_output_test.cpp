#include "formats/check_output.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/check_runs.h"

namespace ostrivane {
namespace {

using testing::optionsFor;
using testing::result;
using testing::runOf;

std::string printed(const CheckRun& run, const CheckOptions& options, int status = 0) {
    std::ostringstream out;
    printCheckRun(run, options, status, out);
    return out.str();
}

constexpr auto L = CheckVerdict::Listed;
constexpr auto N = CheckVerdict::NotListed;
constexpr auto Q = CheckVerdict::NoAnswer;
constexpr auto B = CheckVerdict::BrokenZone;

TEST(CheckOutput, ChangesOnlyLines) {
    const auto newListing =
        runOf({result("192.0.2.1", "bl.test", L, ListingChange::New),
               result("192.0.2.2", "bl.test", L, ListingChange::Ongoing, 1796659962000 - 86400000),
               result("192.0.2.3", "bl.test", N, ListingChange::Cleared)});
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
    const auto nagios = printed(run, optionsFor(CheckFormat::Nagios), 2);
    EXPECT_EQ(nagios,
              "OSTRIVANE CRITICAL - 192.0.2.1 listed on bl.test | listed=1;;0;0;1 no_answer=0 "
              "broken_zones=1 incomplete=0;0;;0;1 time=0.081s\n"
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

// A run whose results went to the printer as they came and were only counted
// ends as the same run kept whole does: the summary, the json's summary, the
// nagios line and its long output.
TEST(CheckOutput, ResultsHandedOnEndAsIfKept) {
    const auto kept =
        runOf({result("192.0.2.1", "bl.test", L), result("192.0.2.1", "dead.test", B),
               result("192.0.2.2", "bl.test", CheckVerdict::NotCovered),
               result("192.0.2.2", "dead.test", CheckVerdict::NotCovered),
               result("192.0.2.3", "bl.test", N), result("192.0.2.3", "dead.test", Q)});
    for (const auto format : {CheckFormat::Text, CheckFormat::Json, CheckFormat::Nagios}) {
        SCOPED_TRACE(static_cast<int>(format));
        const auto options = optionsFor(format);
        auto streamedTally = kept;
        streamedTally.results.clear();
        std::ostringstream out;
        auto printer = checkPrinter(options, kept.startedAt, false, out);
        forEachAddress(kept.results, [&](std::size_t first, std::size_t end) {
            const std::vector<CheckResult> one(kept.results.begin() + first,
                                               kept.results.begin() + end);
            printer->address(one);
            streamedTally.streamedTally.add(one);
        });
        printer->finish(streamedTally, 2, {});
        EXPECT_EQ(out.str(), printed(kept, options, 2));
        EXPECT_EQ(countsOf(streamedTally).uncoveredAddresses, 1u);
        EXPECT_EQ(countsOf(streamedTally).results, 6u);
    }
}

TEST(CheckOutput, NagiosNamesTheFirstListingsAndCountsTheRest) {
    std::vector<CheckResult> results;
    for (std::size_t i = 0; i < kNagiosListingLines + 5; ++i) {
        results.push_back(result("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256),
                                 "bl.test", L));
    }
    const auto nagios = printed(runOf(std::move(results)), optionsFor(CheckFormat::Nagios), 2);
    EXPECT_NE(nagios.find("205 addresses listed on bl.test"), std::string::npos) << nagios;
    EXPECT_NE(nagios.find("10.0.0.199 listed on"), std::string::npos);
    EXPECT_EQ(nagios.find("10.0.0.200 listed on"), std::string::npos);
    EXPECT_NE(nagios.find("\n5 more listings (--format text or json shows them all)\n"),
              std::string::npos);
}

TEST(CheckOutput, Rfc3339) {
    EXPECT_EQ(formatRfc3339(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(formatRfc3339(1796659962999), "2026-12-07T16:12:42Z");
}

}  // namespace
}  // namespace ostrivane
