#include "app/timeline_mode.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/history_test_support.h"
#include "support/temp_dir.h"

namespace ostrivane {
namespace {

using testing::checkRun;
using testing::kDecember1;
using testing::kHourMs;
using testing::resultOf;
using testing::runOf;
using testing::ScratchStore;

TEST(TimelineCommand, PrintsPeriodsAlignedWithControlCharactersEscaped) {
    std::ostringstream out;
    printTimeline(out,
                  {{"192.0.2.10", "bl.test", kDecember1, kDecember1 + 26 * kHourMs, "spam\x1b[2J"},
                   {"2001:db8::1", "b.test", kDecember1 + kHourMs, std::nullopt, ""}},
                  kDecember1 + 3 * kHourMs + 5 * 60000);
    EXPECT_EQ(out.str(),
              "ADDRESS      ZONE     FROM                  TO                    DURATION  REASON\n"
              "192.0.2.10   bl.test  2026-12-01 00:00 UTC  2026-12-02 02:00 UTC  1d 2h     "
              "spam\\x1b[2J\n"
              "2001:db8::1  b.test   2026-12-01 01:00 UTC  now                   2h 5m\n");
}

struct CommandOutcome {
    int status;
    std::string out;
    std::string err;
};

CommandOutcome run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runTimelineCommand(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(TimelineCommand, FindsTargetsAndReportsWhatItCannot) {
    ScratchStore store;
    CheckRun first = runOf(kDecember1, {resultOf("192.0.2.10", "bl.test", CheckVerdict::Listed),
                                        resultOf("2001:db8::1", "bl.test", CheckVerdict::Listed),
                                        resultOf("192.0.2.20", "bl.test", CheckVerdict::Listed)});
    first.results[0].target = first.results[1].target = "mail.example.com";
    checkRun(store, first);
    const std::string path = store.path().string();
    const auto lines = [](const std::string& text) {
        return std::count(text.begin(), text.end(), '\n');
    };
    struct Case {
        std::vector<std::string> args;
        int status;
        long lines;           // on standard output
        std::string inError;  // part of standard error
    };
    const Case cases[] = {
        {{}, 0, 4, ""},
        {{"mail.example.com"}, 0, 3, ""},
        {{"2001:0db8:0:0::0001"}, 0, 2, ""},  // any spelling of an address
        {{"192.0.2.20", "192.0.2.20"}, 0, 2, ""},
        // Never checked: as unknown as an unknown host name.
        {{"192.0.2.99"}, 2, 0, "192.0.2.99: no check in this history checked this address"},
        {{"192.0.2.99", "192.0.2.20"}, 2, 2, "192.0.2.99: no check"},
        {{"nowhere.example", "192.0.2.20"}, 2, 2, "nowhere.example: no check"},
        {{"nowhere.example"}, 2, 0, "nowhere.example: no check"},
        {{"--frobnicate"}, 3, 0, "does not know the option \"--frobnicate\""},
        {{"--history"}, 3, 0, "--history needs a file"},
        // The options are read in order: the first problem, or --help, decides.
        {{"--help", "--frobnicate"}, 0, 6, ""},
        {{"-x", "--help"}, 3, 0, "does not know the option \"-x\""},
        {{"--help=x"}, 3, 0, "does not know the option \"--help=x\""},
        {{"--", "mail.example.com"}, 3, 0, "does not know the option \"--\""},
        {{"-"}, 3, 0, "does not know the option \"-\""},
        {{""}, 3, 0, "does not know the option \"\""},
        {{"--history", "--help"}, 3, 0, "--help"},  // a value is taken as it stands
    };
    for (const auto& test : cases) {
        std::vector<std::string> args = {"--history", path};
        if (!test.args.empty() && test.args[0] == "--history") {
            args = test.args;
        } else {
            args.insert(args.end(), test.args.begin(), test.args.end());
        }
        SCOPED_TRACE(::testing::PrintToString(args));
        const auto outcome = run(args);
        EXPECT_EQ(outcome.status, test.status);
        EXPECT_EQ(lines(outcome.out), test.lines) << outcome.out;
        EXPECT_NE(outcome.err.find(test.inError), std::string::npos) << outcome.err;
        if (test.inError.empty()) {
            EXPECT_EQ(outcome.err, "");
        }
    }
    const auto missing = run({"--history", (store.path().parent_path() / "none.sqlite").string()});
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("none.sqlite: holds no history yet"), std::string::npos);
}

}  // namespace
}  // namespace ostrivane
