#include "history/history_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "support/history_test_support.h"
#include "support/temp_dir.h"

namespace ostrivane {
namespace {

using testing::checkRun;
using testing::kDecember1;
using testing::kHourMs;
using testing::openStore;
using testing::periodsOf;
using testing::resultOf;
using testing::runOf;
using testing::ScratchStore;
using testing::TempDir;

constexpr auto L = CheckVerdict::Listed;
constexpr auto N = CheckVerdict::NotListed;
constexpr auto U = CheckVerdict::NoAnswer;
constexpr auto E = CheckVerdict::ListError;
constexpr auto B = CheckVerdict::BrokenZone;

// What a run at hour i should say: the change, and since which run's hour.
struct Expected {
    std::optional<ListingChange> change;
    std::optional<int> sinceRun;
};
constexpr Expected none{};
constexpr Expected fresh(int run) {
    return {ListingChange::New, run};
}
constexpr Expected ongoing(int since) {
    return {ListingChange::Ongoing, since};
}
constexpr Expected cleared(int since) {
    return {ListingChange::Cleared, since};
}

struct Period {
    int from;
    std::optional<int> to;
};

struct ChangeCase {
    const char* name;
    std::vector<CheckVerdict> verdicts;  // one run an hour
    std::vector<Expected> expected;
    std::vector<Period> periods;
};

EpochMs hour(int i) {
    return kDecember1 + i * kHourMs;
}

TEST(HistoryChanges, FollowTheLastKnownVerdictOfEachAddressAndZone) {
    const std::vector<ChangeCase> cases = {
        {"first listing is new", {L, L, L}, {fresh(0), ongoing(0), ongoing(0)}, {{0, {}}}},
        {"clean first, then listed", {N, N, L}, {none, none, fresh(2)}, {{2, {}}}},
        {"listing ends", {L, L, N, N}, {fresh(0), ongoing(0), cleared(0), none}, {{0, 2}}},
        {"listed again is a new listing",
         {L, N, L, L},
         {fresh(0), cleared(0), fresh(2), ongoing(2)},
         {{0, 1}, {2, {}}}},
        {"no answer neither ends nor breaks a listing",
         {L, U, L, E, B, L},
         {fresh(0), none, ongoing(0), none, none, ongoing(0)},
         {{0, {}}}},
        {"a listing ends at the next known verdict",
         {L, U, B, N},
         {fresh(0), none, none, cleared(0)},
         {{0, 3}}},
        {"no answer does not make a clean record a listing", {N, U, N}, {none, none, none}, {}},
        {"unknown first, then listed", {E, U, L}, {none, none, fresh(2)}, {{2, {}}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ScratchStore store;
        for (std::size_t i = 0; i < test.verdicts.size(); ++i) {
            SCOPED_TRACE("run " + std::to_string(i));
            const CheckRun run =
                checkRun(store, runOf(hour(static_cast<int>(i)),
                                      {resultOf("192.0.2.10", "bl.test", test.verdicts[i]),
                                       // Another zone of the same address keeps its own streak.
                                       resultOf("192.0.2.10", "other.test", N)}));
            const auto& expected = test.expected[i];
            EXPECT_EQ(run.results[0].change, expected.change);
            EXPECT_EQ(run.results[0].since,
                      expected.sinceRun ? std::optional(hour(*expected.sinceRun)) : std::nullopt);
            EXPECT_EQ(run.results[1].change, std::nullopt);
        }
        std::vector<ListingPeriod> expected;
        for (const auto& period : test.periods) {
            expected.push_back({"192.0.2.10", "bl.test", hour(period.from),
                                period.to ? std::optional(hour(*period.to)) : std::nullopt,
                                "listed for testing"});
        }
        EXPECT_EQ(periodsOf(store), expected);
    }
}

TEST(HistoryChanges, AnOlderRunCommittedLastDoesNotUndoANewerOne) {
    ScratchStore store;
    checkRun(store, runOf(hour(0), {resultOf("192.0.2.10", "bl.test", N)}));
    // Two runs at once: the one started later commits first.
    checkRun(store, runOf(hour(2), {resultOf("192.0.2.10", "bl.test", L)}));
    checkRun(store, runOf(hour(1), {resultOf("192.0.2.10", "bl.test", N)}));
    const CheckRun next = checkRun(store, runOf(hour(3), {resultOf("192.0.2.10", "bl.test", L)}));
    EXPECT_EQ(next.results[0].change, ListingChange::Ongoing);
    EXPECT_EQ(next.results[0].since, hour(2));
}

TEST(HistoryChanges, AnAddressCheckedTwiceInOneRunCountsOnce) {
    ScratchStore store;
    checkRun(store, runOf(hour(0), {resultOf("192.0.2.10", "bl.test", L),
                                    resultOf("192.0.2.10", "bl.test", L)}));
    EXPECT_EQ(periodsOf(store).size(), 1u);
}

TEST(HistoryTimeline, SelectsAddressesAndFindsTargets) {
    ScratchStore store;
    CheckRun run =
        runOf(hour(0), {resultOf("192.0.2.10", "bl.test", L), resultOf("192.0.2.9", "bl.test", L),
                        resultOf("2001:db8::1", "bl.test", L)});
    run.results[0].target = "mail.example.com";
    run.results[2].target = "mail.example.com";
    checkRun(store, run);

    std::vector<std::string> order;
    for (const auto& period : periodsOf(store)) {
        order.push_back(period.address);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"192.0.2.9", "192.0.2.10", "2001:db8::1"}));
    EXPECT_EQ(periodsOf(store, {"192.0.2.9"}).size(), 1u);
    EXPECT_EQ(periodsOf(store, {"192.0.2.11"}).size(), 0u);

    auto addresses = store.addressesOfTarget("MAIL.example.com");
    ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(addresses));
    EXPECT_EQ(std::get<std::vector<std::string>>(addresses),
              (std::vector<std::string>{"192.0.2.10", "2001:db8::1"}));
}

TEST(HistoryRetention, DeletesOldRunsAndEndedListingsButKeepsOngoingOnes) {
    ScratchStore store;
    // 192.0.2.1: listed hours 0-1; 192.0.2.2: listed from hour 0 on;
    // 192.0.2.3: checked at hour 0 only.
    checkRun(store, runOf(hour(0),
                          {resultOf("192.0.2.1", "bl.test", L), resultOf("192.0.2.2", "bl.test", L),
                           resultOf("192.0.2.3", "bl.test", L)}));
    checkRun(store, runOf(hour(2), {resultOf("192.0.2.1", "bl.test", N),
                                    resultOf("192.0.2.2", "bl.test", L)}));
    checkRun(store, runOf(hour(5), {resultOf("192.0.2.1", "bl.test", N),
                                    resultOf("192.0.2.2", "bl.test", L)}));
    ASSERT_EQ(store.prune(hour(3)), std::nullopt);

    const auto periods = periodsOf(store);
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(periods[0].address, "192.0.2.2");
    EXPECT_EQ(periods[0].from, hour(0));

    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(store.connection(),
                       "SELECT (SELECT count(*) FROM runs), (SELECT sum(result_count) FROM runs), "
                       "(SELECT count(*) FROM subjects), (SELECT count(*) FROM targets)",
                       -1, &count, nullptr);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 1);  // hour 5
    EXPECT_EQ(sqlite3_column_int(count, 1), 2);
    EXPECT_EQ(sqlite3_column_int(count, 2), 2);  // 192.0.2.3 is forgotten
    EXPECT_EQ(sqlite3_column_int(count, 3), 2);
    sqlite3_finalize(count);

    // The ongoing listing still knows when it began; the forgotten address starts afresh.
    const CheckRun next = checkRun(store, runOf(hour(6), {resultOf("192.0.2.2", "bl.test", L),
                                                          resultOf("192.0.2.3", "bl.test", L)}));
    EXPECT_EQ(next.results[0].change, ListingChange::Ongoing);
    EXPECT_EQ(next.results[0].since, hour(0));
    EXPECT_EQ(next.results[1].change, ListingChange::New);
}

TEST(HistoryRecentDays, OneStatePerUtcDay) {
    ScratchStore store;
    constexpr EpochMs day = 24 * kHourMs;
    // Day 0: clear then listed (listed wins); day 1: no answer only; day 2:
    // nothing; day 3: clear.
    checkRun(store, runOf(kDecember1 + 1 * kHourMs, {resultOf("192.0.2.1", "bl.test", N)}));
    checkRun(store, runOf(kDecember1 + 23 * kHourMs, {resultOf("192.0.2.1", "bl.test", L)}));
    checkRun(store, runOf(kDecember1 + day + kHourMs, {resultOf("192.0.2.1", "bl.test", U)}));
    checkRun(store, runOf(kDecember1 + 3 * day, {resultOf("192.0.2.1", "bl.test", N)}));

    auto read = store.recentDays(kDecember1 + 3 * day + 5 * kHourMs, 5);
    ASSERT_TRUE(std::holds_alternative<RecentDays>(read));
    const auto& recent = std::get<RecentDays>(read);
    EXPECT_EQ(recent.firstDay, kDecember1 - day);
    ASSERT_EQ(recent.strips.size(), 1u);
    using D = DayState;
    EXPECT_EQ(recent.strips[0].days,
              (std::vector<D>{D::Unknown, D::Listed, D::Unknown, D::Unknown, D::Clear}));
}

TEST(HistoryFaults, AFullDiskRollsTheRunBackAndKeepsTheHistory) {
    ScratchStore store;
    checkRun(store, runOf(hour(0), {resultOf("192.0.2.1", "bl.test", L)}));

    // Room for a few more pages only: a /24 against many zones does not fit.
    sqlite3_exec(store.connection(), "PRAGMA max_page_count = 40", nullptr, nullptr, nullptr);
    std::vector<CheckResult> big;
    for (int i = 0; i < 256; ++i) {
        for (int zone = 0; zone < 16; ++zone) {
            big.push_back(resultOf("198.51.100." + std::to_string(i),
                                   "zone" + std::to_string(zone) + ".test", L,
                                   std::string(100, 'r')));
        }
    }
    big.push_back(resultOf("192.0.2.1", "bl.test", N));
    const auto problem = store.record(runOf(hour(1), big));
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->reason.find("disk is full"), std::string::npos) << problem->reason;
    EXPECT_NE(problem->reason.find("not recorded"), std::string::npos) << problem->reason;

    // Nothing of the failed run; the listing still goes on.
    const auto periods = periodsOf(store);
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(periods[0].to, std::nullopt);

    sqlite3_exec(store.connection(), "PRAGMA max_page_count = 1073741823", nullptr, nullptr,
                 nullptr);
    const CheckRun next = checkRun(store, runOf(hour(2), {resultOf("192.0.2.1", "bl.test", L)}));
    EXPECT_EQ(next.results[0].change, ListingChange::Ongoing);
    EXPECT_EQ(next.results[0].since, hour(0));
}

// The store keeps what changes: runs of a /24 against 16 zones in which
// nothing changed add little, whatever the number of results.
TEST(HistorySize, TwentyUnchangedRunsOfASlash24Against16ZonesAddAtMost40KB) {
    TempDir dir;
    const auto path = dir / "history.sqlite";
    std::vector<CheckResult> results;
    for (int i = 0; i < 256; ++i) {
        for (int zone = 0; zone < 16; ++zone) {
            results.push_back(resultOf("198.51.100." + std::to_string(i),
                                       "zone" + std::to_string(zone) + ".test",
                                       i % 100 == 7 && zone == 3 ? L : N));
        }
    }
    const auto runsFrom = [&](int first, int count) {
        HistoryStore store = openStore(path);
        for (int i = first; i < first + count; ++i) {
            checkRun(store, runOf(kDecember1 + i * 5 * 60 * 1000, results));
        }
    };  // closing folds the write-ahead log into the file
    runsFrom(0, 2);
    const auto before = std::filesystem::file_size(path);
    runsFrom(2, 20);
    EXPECT_LE(std::filesystem::file_size(path), before + 40 * 1024);
    HistoryStore store = openStore(path);
    EXPECT_EQ(periodsOf(store).size(), 3u);
}

TEST(HistoryDayRecord, KeepsTheStrongestStateOfEachOfTheLastDays) {
    using D = DayState;
    struct Case {
        const char* name;
        DayRecord before;
        std::int64_t day;
        DayState state;
        DayRecord after;
    };
    const Case cases[] = {
        {"first result", {0, ""}, 100, D::Clear, {100, "C"}},
        {"same day, listed wins", {100, "UC"}, 100, D::Listed, {100, "UL"}},
        {"same day, clear does not undo a listing", {100, "L"}, 100, D::Clear, {100, "L"}},
        {"an earlier day in the record", {100, "CUC"}, 99, D::Listed, {100, "CLC"}},
        {"older than the record: dropped", {100, "C"}, 90, D::Listed, {100, "C"}},
        {"the next day", {100, "C"}, 101, D::Unknown, {101, "CU"}},
        {"days without a run stay unknown", {100, "L"}, 103, D::Clear, {103, "LUUC"}},
        {"the record keeps 32 days",
         {100, std::string(32, 'C')},
         102,
         D::Listed,
         {102, std::string(30, 'C') + "UL"}},
        {"a long gap", {100, "L"}, 500, D::Clear, {500, std::string(31, 'U') + "C"}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const DayRecord after = markDay(test.before, test.day, test.state);
        EXPECT_EQ(after.lastDay, test.after.lastDay);
        EXPECT_EQ(after.days, test.after.days);
    }
    EXPECT_EQ(stateOn({100, "LC"}, 99), D::Listed);
    EXPECT_EQ(stateOn({100, "LC"}, 98), D::Unknown);
    EXPECT_EQ(stateOn({100, "LC"}, 101), D::Unknown);
    EXPECT_EQ(dayNumberOf(kDecember1 + 23 * kHourMs), dayNumberOf(kDecember1));
    EXPECT_EQ(dayNumberOf(-1), -1);
}

}  // namespace
}  // namespace ostrivane
