#include "history/check_history.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/history_test_support.h"
#include "support/temp_dir.h"

namespace ostrivane {
namespace {

using testing::kDecember1;
using testing::kHourMs;
using testing::periodsOf;
using testing::readBytes;
using testing::resultOf;
using testing::runOf;
using testing::TempDir;
using testing::writeBytes;

constexpr EpochMs kDay = 24 * kHourMs;

// Both ways a run uses the history: whole (the exporter), or address by
// address as the results come (the check command).
bool g_streamed = false;

// One check run's use of the history, as the check command makes it.
CheckRun checkWith(const std::filesystem::path& file, CheckVerdict verdict, EpochMs at,
                   std::ostream& err, bool* changesUnknown = nullptr, int keepDays = 400) {
    CheckHistory history = CheckHistory::open(file, true, err);
    CheckRun run = runOf(at, {resultOf("192.0.2.10", "bl.test", verdict),
                              resultOf("192.0.2.11", "bl.test", CheckVerdict::NotListed)});
    if (g_streamed) {
        history.beginRun(at, err);
        std::vector<CheckResult> first{run.results[0]};
        std::vector<CheckResult> second{run.results[1]};
        history.take(first, err);
        history.take(second, err);
        run.results = {first[0], second[0]};
        history.endRun(run, keepDays, err);
    } else {
        history.annotate(run, err);
        history.recordAndPrune(run, keepDays, err);
    }
    if (changesUnknown) {
        *changesUnknown = history.changesUnknown();
    }
    return run;
}

TEST(CheckHistory, AnnotatesRecordsAndPrunesInOrder) {
    for (const bool streamed : {false, true}) {
        SCOPED_TRACE(streamed ? "address by address" : "whole");
        g_streamed = streamed;
        TempDir dir;
        const auto file = dir / "state/history.sqlite";
        std::ostringstream err;
        bool unknown = true;
        EXPECT_EQ(
            checkWith(file, CheckVerdict::Listed, kDecember1, err, &unknown).results[0].change,
            ListingChange::New);
        EXPECT_FALSE(unknown);
        EXPECT_EQ(
            checkWith(file, CheckVerdict::NotListed, kDecember1 + kDay, err).results[0].change,
            ListingChange::Cleared);
        // Ten days on, keeping five: the ended listing is gone.
        checkWith(file, CheckVerdict::NotListed, kDecember1 + 10 * kDay, err, nullptr, 5);
        EXPECT_EQ(err.str(), "");
        auto opened = HistoryStore::openReadOnly(file);
        ASSERT_TRUE(std::holds_alternative<HistoryStore>(opened));
        EXPECT_EQ(periodsOf(std::get<HistoryStore>(opened)).size(), 0u);
    }
    g_streamed = false;
}

TEST(CheckHistory, AnUnreadableFileIsNamedOnceAndNeverWritten) {
    for (const bool streamed : {false, true}) {
        SCOPED_TRACE(streamed ? "address by address" : "whole");
        g_streamed = streamed;
        TempDir dir;
        const auto file = dir / "history.sqlite";
        writeBytes(file, "not a database at all");
        std::ostringstream err;
        bool unknown = false;
        const CheckRun run = checkWith(file, CheckVerdict::Listed, kDecember1, err, &unknown);
        EXPECT_TRUE(unknown);
        EXPECT_EQ(run.results[0].change, std::nullopt);
        EXPECT_EQ(err.str(), "ostrivane: history file " + file.string() +
                                 ": is not an SQLite database (it does not begin with \"SQLite "
                                 "format 3\")\n");
        EXPECT_EQ(readBytes(file), "not a database at all");
    }
    g_streamed = false;
}

TEST(CheckHistory, DisabledMeansNoFileAndNoChanges) {
    TempDir dir;
    std::ostringstream err;
    CheckHistory history = CheckHistory::open(dir / "history.sqlite", false, err);
    CheckRun run = runOf(kDecember1, {resultOf("192.0.2.10", "bl.test", CheckVerdict::Listed)});
    history.annotate(run, err);
    history.recordAndPrune(run, 400, err);
    EXPECT_TRUE(history.changesUnknown());
    EXPECT_EQ(history.recentDays(kDecember1, err).dayCount, 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "history.sqlite"));
}

}  // namespace
}  // namespace ostrivane
