#include "core/lookup_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/memory_table.h"
#include "support/scripted_resolver.h"

namespace ostrivane {
namespace {

using ::testing::ElementsAre;
using testing::ScriptedResolver;

std::string colourName(Rgb c) {
    if (c == kWhite)
        return "white";
    if (c == kBlack)
        return "black";
    if (c == kCyan)
        return "cyan";
    if (c == kDarkRed)
        return "darkred";
    return "other";
}

// One log of everything the run does to the table and the view, in order.
struct Log {
    std::vector<std::string> lines;
    void add(std::string line) { lines.push_back(std::move(line)); }
    int count(std::string_view line) const {
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
};

class RecordingTable final : public BlacklistTable {
  public:
    explicit RecordingTable(Log& log) : m_log(log) {}
    std::string name(int row) const override { return m_table.name(row); }
    std::string zone(int row) const override { return m_table.zone(row); }
    std::string result(int row) const override { return m_table.result(row); }
    void setName(int row, std::string_view t) override { m_table.setName(row, t); }
    void setZone(int row, std::string_view t) override { m_table.setZone(row, t); }
    void setResult(int row, std::string_view t) override {
        m_log.add(std::to_string(row) + " result " + std::string(t));
        m_table.setResult(row, t);
    }
    void setBackground(int row, Rgb c) override {
        m_log.add(std::to_string(row) + " background " + colourName(c));
        m_table.setBackground(row, c);
    }
    void setTextColour(int row, Rgb c) override {
        m_log.add(std::to_string(row) + " text " + colourName(c));
        m_table.setTextColour(row, c);
    }
    Rgb background(int row) const override { return m_table.background(row); }
    Rgb textColour(int row) const override { return m_table.textColour(row); }

  private:
    Log& m_log;
    MemoryTable m_table;
};

class RecordingView final : public LookupView {
  public:
    RecordingView(Log& log, std::string host) : m_log(log), m_host(std::move(host)) {}
    std::string hostText() const override { return m_host; }
    void setHostText(std::string_view t) override {
        m_log.add("host " + std::string(t));
        m_host = t;
    }
    void setBusyPointer(bool busy) override { m_log.add(busy ? "busy" : "idle"); }
    void setLookupEnabled(bool on) override { m_log.add(on ? "enable" : "disable"); }
    bool yieldToEvents() override {
        m_log.add("yield");
        if (onYield)
            onYield();
        return !closed;
    }
    void showMessage(std::string_view prompt, std::string_view title) override {
        m_log.add("message " + std::string(prompt) + " | " + std::string(title));
    }

    std::function<void()> onYield;
    bool closed = false;

  private:
    Log& m_log;
    std::string m_host;
};

struct Fixture {
    Log log;
    RecordingTable table{log};
    ScriptedResolver resolver;
    int pauses = 0;

    LookupSummary run(LookupView& view) {
        return runLookup(table, view, resolver, [this] {
            ++pauses;
            log.add("pause");
        });
    }
    std::vector<std::string> linesAfter(std::string_view marker) const {
        auto it = std::find(log.lines.begin(), log.lines.end(), marker);
        return {it == log.lines.end() ? it : it + 1, log.lines.end()};
    }
};

TEST(RunLookup, BlankHostChangesNothing) {
    for (const std::string host : {"", " ", "    "}) {
        Fixture f;
        f.table.setResult(2, "Listed: 127.0.0.2");
        f.log.lines.clear();
        RecordingView view(f.log, host);
        EXPECT_EQ(f.run(view).outcome, LookupOutcome::NothingToLookUp);
        EXPECT_TRUE(f.log.lines.empty()) << "host '" << host << "'";
        EXPECT_TRUE(f.resolver.asked().empty());
        EXPECT_EQ(f.table.result(2), "Listed: 127.0.0.2");
    }
}

TEST(RunLookup, ExactSequenceForListedNotFoundAndSkippedRows) {
    Fixture f;
    f.table.setZone(0, "listed.example");
    f.table.setName(1, "name without zone");
    f.table.setZone(2, "clean.example");
    f.resolver.answer("mail.example", {192, 0, 2, 10})
        .answer("10.2.0.192.listed.example", {127, 0, 0, 4});
    RecordingView view(f.log, "mail.example");

    const auto summary = f.run(view);

    EXPECT_EQ(summary.outcome, LookupOutcome::Completed);
    EXPECT_EQ(summary.queried, 2);
    EXPECT_EQ(summary.listed, 1);
    EXPECT_THAT(f.resolver.asked(), ElementsAre("mail.example", "10.2.0.192.listed.example",
                                                "10.2.0.192.clean.example"));
    // Clearing: every row gets an empty result, white and black, before the first yield.
    EXPECT_EQ(f.log.lines[0], "busy");
    EXPECT_THAT(std::vector(f.log.lines.begin() + 1, f.log.lines.begin() + 4),
                ElementsAre("0 result ", "0 background white", "0 text black"));
    EXPECT_EQ(f.log.lines[1 + 3 * kRowCount], "yield");
    EXPECT_THAT(f.linesAfter("19 text black"),
                ElementsAre("yield", "yield", "disable", "host mail.example (192.0.2.10)",
                            // row 0: listed
                            "0 result Querying...", "0 background cyan", "yield", "yield", "pause",
                            "0 background white", "yield", "yield", "0 result Listed: 127.0.0.4",
                            "0 background darkred", "0 text white",
                            // row 1 has no zone: skipped without a yield or pause
                            "2 result Querying...", "2 background cyan", "yield", "yield", "pause",
                            "2 background white", "yield", "yield", "2 result Not Found",
                            "2 background white", "2 text black", "idle", "enable"));
    EXPECT_EQ(f.table.result(1), "");
    ASSERT_TRUE(summary.rows[0].has_value());
    EXPECT_EQ(summary.rows[0]->queryName, "10.2.0.192.listed.example");
    EXPECT_EQ(summary.rows[0]->zone, "listed.example");
    EXPECT_EQ(summary.rows[0]->verdict, "Listed: 127.0.0.4");
    EXPECT_FALSE(summary.rows[1].has_value());
    ASSERT_TRUE(summary.rows[2].has_value());
    EXPECT_EQ(summary.rows[2]->verdict, "Not Found");
}

TEST(RunLookup, CountsOfYieldsPausesAndResolutions) {
    for (int zones : {0, 1, 20}) {
        Fixture f;
        for (int row = 0; row < zones; ++row) {
            f.table.setZone(row, "z" + std::to_string(row));
        }
        f.resolver.answer("h", {192, 0, 2, 1});
        RecordingView view(f.log, "h");
        f.run(view);
        EXPECT_EQ(f.log.count("yield"), 2 + 4 * zones) << zones;
        EXPECT_EQ(f.pauses, zones) << zones;
        EXPECT_EQ(static_cast<int>(f.resolver.asked().size()), 1 + zones) << zones;
    }
}

struct SuffixCase {
    std::string_view field;
    std::string_view resolved;
};

class SuffixCut : public ::testing::TestWithParam<SuffixCase> {};

TEST_P(SuffixCut, ResolvesTheTextBeforeTheParenthesis) {
    Fixture f;
    RecordingView view(f.log, std::string(GetParam().field));
    f.run(view);
    ASSERT_FALSE(f.resolver.asked().empty());
    EXPECT_EQ(f.resolver.asked().front(), GetParam().resolved);
}

INSTANTIATE_TEST_SUITE_P(Cases, SuffixCut,
                         ::testing::Values(SuffixCase{"mail.example (192.0.2.10)", "mail.example"},
                                           SuffixCase{"mail.example(192.0.2.10)", "mail.exampl"},
                                           SuffixCase{"a(", ""}, SuffixCase{"(", ""},
                                           SuffixCase{"(192.0.2.1)", ""},
                                           SuffixCase{" mail.example ", " mail.example "}));

TEST(RunLookup, RewritesHostFieldFromAnEarlierRun) {
    Fixture f;
    f.resolver.answer("mail.example", {192, 0, 2, 11});
    RecordingView view(f.log, "mail.example (192.0.2.10)");
    f.run(view);
    EXPECT_EQ(view.hostText(), "mail.example (192.0.2.11)");
}

TEST(RunLookup, DottedAddressTypedAsFormattedIsNotRewritten) {
    for (const std::string field : {"127.0.0.2", "127.0.0.2 (anything at all)"}) {
        Fixture f;
        f.resolver.answer("127.0.0.2", {127, 0, 0, 2});
        RecordingView view(f.log, field);
        f.run(view);
        EXPECT_EQ(view.hostText(), field);
        EXPECT_EQ(f.log.count("host " + field), 0);
    }
}

TEST(RunLookup, OtherAddressFormsAreRewritten) {
    Fixture f;
    f.resolver.answer("127.000.0.2", {127, 0, 0, 2});
    RecordingView view(f.log, "127.000.0.2");
    f.run(view);
    EXPECT_EQ(view.hostText(), "127.000.0.2 (127.0.0.2)");
}

TEST(RunLookup, UnresolvedHostShowsCutTextAndLeavesFieldUncut) {
    Fixture f;
    f.table.setZone(0, "bl.example");
    f.table.setResult(0, "Listed: 127.0.0.2");
    RecordingView view(f.log, " nowhere.example (192.0.2.1)");

    const auto summary = f.run(view);

    EXPECT_EQ(summary.outcome, LookupOutcome::HostUnresolved);
    EXPECT_THAT(f.linesAfter("19 text black"),
                ElementsAre("yield", "yield", "disable", "idle", "enable",
                            "message Unable to resolve  nowhere.example | "
                            "Couldn't Resolve Host"));
    EXPECT_EQ(view.hostText(), " nowhere.example (192.0.2.1)");
    EXPECT_EQ(f.table.result(0), "");
    EXPECT_EQ(f.pauses, 0);
}

TEST(RunLookup, NonListingOutcomesAreKeptApart) {
    Fixture f;
    f.table.setZone(0, "clean.example");
    f.table.setZone(1, "dead.example");
    f.table.setZone(2, "refusing.example");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2})
        .noAnswer("2.0.0.127.dead.example")
        .answer("2.0.0.127.refusing.example", {127, 255, 255, 254});
    RecordingView view(f.log, "127.0.0.2");

    const auto summary = f.run(view);

    EXPECT_EQ(f.table.result(0), "Not Found");
    EXPECT_EQ(f.table.result(1), "Lookup failed");
    EXPECT_EQ(f.table.result(2), "List error: 127.255.255.254");
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(f.table.background(row), kWhite) << row;
    }
    EXPECT_EQ(summary.listed, 0);
    EXPECT_EQ(summary.unanswered, 1);
    EXPECT_EQ(summary.listErrors, 1);
}

TEST(RunLookup, RowsAreObservedMidRunAtEachYield) {
    Fixture f;
    f.table.setZone(3, "bl.example");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2}).answer("2.0.0.127.bl.example", {127, 0, 0, 2});
    RecordingView view(f.log, "127.0.0.2");
    std::vector<std::string> seen;
    view.onYield = [&] {
        seen.push_back(f.table.result(3) + "/" + colourName(f.table.background(3)));
    };
    f.run(view);
    EXPECT_THAT(seen, ElementsAre("/white", "/white", "Querying.../cyan", "Querying.../cyan",
                                  "Querying.../white", "Querying.../white"));
    EXPECT_EQ(f.table.result(3), "Listed: 127.0.0.2");
}

TEST(RunLookup, ZoneEditedDuringAYieldIsUsedWhenTheRowIsReached) {
    Fixture f;
    f.table.setZone(0, "a.example");
    f.table.setZone(5, "old.example");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2});
    RecordingView view(f.log, "127.0.0.2");
    view.onYield = [&] { f.table.setZone(5, "new.example"); };
    f.run(view);
    EXPECT_EQ(f.resolver.asked().back(), "2.0.0.127.new.example");
}

// The zone of the row being asked changes in a yield (typed over, or reset to
// the defaults): the answer belongs to the zone asked, so the row stays Plain
// and empty, whether the change came before the question went out or after.
struct ZoneChangeCase {
    const char* label;
    int atYield;  // 1-2: while the table is cleared; 3-4: Querying on cyan; 5-6: on white
    std::vector<std::string> asked;
    std::string result;
};

class ZoneChangedUnderItsQuestion : public ::testing::TestWithParam<ZoneChangeCase> {};

TEST_P(ZoneChangedUnderItsQuestion, LeavesTheRowPlainAndEmpty) {
    Fixture f;
    f.table.setZone(3, "old.example");
    f.table.setZone(4, "next.example");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2})
        .answer("2.0.0.127.old.example", {127, 0, 0, 9})
        .answer("2.0.0.127.new.example", {127, 0, 0, 2})
        .answer("2.0.0.127.next.example", {127, 0, 0, 3});
    RecordingView view(f.log, "127.0.0.2");
    int yields = 0;
    view.onYield = [&] {
        if (++yields == GetParam().atYield) {
            f.table.setZone(3, "new.example");
        }
    };
    const LookupSummary summary = f.run(view);
    EXPECT_EQ(f.resolver.asked(), GetParam().asked);
    EXPECT_EQ(f.table.result(3), GetParam().result);
    EXPECT_EQ(f.table.background(3), GetParam().result.empty() ? kWhite : kDarkRed);
    EXPECT_EQ(f.table.textColour(3), GetParam().result.empty() ? kBlack : kWhite);
    EXPECT_EQ(summary.rows[3].has_value(), !GetParam().result.empty());
    EXPECT_EQ(f.table.result(4), "Listed: 127.0.0.3");
    EXPECT_EQ(summary.outcome, LookupOutcome::Completed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZoneChangedUnderItsQuestion,
    ::testing::Values(
        ZoneChangeCase{"BeforeTheRowIsReached",
                       2,
                       {"127.0.0.2", "2.0.0.127.new.example", "2.0.0.127.next.example"},
                       "Listed: 127.0.0.2"},
        ZoneChangeCase{"WhileQuerying", 3, {"127.0.0.2", "2.0.0.127.next.example"}, ""},
        ZoneChangeCase{"AfterTheAnswer",
                       5,
                       {"127.0.0.2", "2.0.0.127.old.example", "2.0.0.127.next.example"},
                       ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RunLookup, NestedRunStartedInAYieldRunsToItsEndThenOuterCarriesOn) {
    Fixture f;
    f.table.setZone(0, "bl.example");
    f.resolver.answer("outer.example", {192, 0, 2, 1}).answer("inner.example", {192, 0, 2, 2});
    RecordingView outer(f.log, "outer.example");
    RecordingView inner(f.log, "inner.example");
    bool started = false;
    outer.onYield = [&] {
        if (!started) {
            started = true;
            EXPECT_EQ(f.run(inner).outcome, LookupOutcome::Completed);
        }
    };
    EXPECT_EQ(f.run(outer).outcome, LookupOutcome::Completed);
    // The inner run starts at the outer run's first yield, before the outer host is resolved.
    EXPECT_THAT(f.resolver.asked(), ElementsAre("inner.example", "2.2.0.192.bl.example",
                                                "outer.example", "1.2.0.192.bl.example"));
    EXPECT_EQ(outer.hostText(), "outer.example (192.0.2.1)");
    EXPECT_EQ(f.log.lines.back(), "enable");
}

TEST(RunLookup, ClosedWindowStopsTheRunWithoutTouchingTheTable) {
    Fixture f;
    f.table.setZone(0, "a.example");
    f.table.setZone(1, "b.example");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2});
    RecordingView view(f.log, "127.0.0.2");
    int yields = 0;
    view.onYield = [&] { view.closed = ++yields == 3; };  // closes at row 0's first yield
    EXPECT_EQ(f.run(view).outcome, LookupOutcome::Abandoned);
    EXPECT_EQ(f.log.lines.back(), "yield");
    EXPECT_EQ(f.resolver.asked().size(), 1u);
}

}  // namespace
}  // namespace ostrivane

namespace ostrivane {
namespace {

// A zone is asked without its surrounding blanks; what is still not a DNS
// name is never asked.
TEST(ZoneToAsk, TrimsBlanksAndRefusesWhatIsNoDnsName) {
    const struct {
        std::string cell;
        std::string asked;  // empty: not asked
    } cases[] = {
        {"good.test", "good.test"},
        {"good.test ", "good.test"},
        {" \tgood.test\r\n", "good.test"},
        {"good.test.", "good.test"},
        {"\xC2\xA0good.test\xC2\xA0", "good.test"},
        {std::string("good.test\0", 10), "good.test"},
        {" ", ""},
        {"\t", ""},
        {".", ""},
        {"..", ""},
        {"\xC2\xA0", ""},
        {std::string(1, '\0'), ""},
        {"good..test", ""},
        {"go od.test", ""},
        {"a\x7f.test", ""},
        {std::string(64, 'a') + ".test", ""},
        {std::string(63, 'a') + ".test", std::string(63, 'a') + ".test"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zoneToAsk(c.cell), c.asked) << '"' << c.cell << '"';
    }
}

TEST(LookupRun, AsksTrimmedZonesAndNeverAsksWhatIsNoDnsName) {
    Fixture f;
    f.table.setZone(0, "listing.example ");
    f.table.setZone(1, " ");
    f.table.setZone(2, "..");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2})
        .answer("2.0.0.127.listing.example", {127, 0, 0, 2});
    RecordingView view(f.log, "127.0.0.2");

    const auto summary = f.run(view);

    EXPECT_EQ(f.table.result(0), "Listed: 127.0.0.2");
    EXPECT_EQ(f.table.zone(0), "listing.example ") << "the cell keeps its text";
    EXPECT_EQ(f.table.result(1), "List error: not a DNS name");
    EXPECT_EQ(f.table.result(2), "List error: not a DNS name");
    EXPECT_EQ(summary.listed, 1);
    EXPECT_EQ(summary.listErrors, 2);
    EXPECT_EQ(f.resolver.asked(),
              (std::vector<std::string>{"127.0.0.2", "2.0.0.127.listing.example"}));
}

}  // namespace
}  // namespace ostrivane

namespace ostrivane {
namespace {

// After the one-by-one run, the lists of the rows that got an answer are
// asked about their test points through a resolver of their own.
struct JudgedFixture : Fixture {
    std::shared_ptr<ScriptedResolver> points = std::make_shared<ScriptedResolver>();

    LookupSummary runJudged(LookupView& view, std::chrono::milliseconds bound = kTestPointBound) {
        const TestPointAsker asker(points, bound);
        return runLookup(
            table, view, resolver, [] {}, &asker);
    }
};

struct TestPointCase {
    const char* label;
    std::optional<std::array<std::uint8_t, 4>>
        hostAnswer;  // of 127.0.0.2 in the run; none: not found
    std::function<void(ScriptedResolver&)> script;
    std::string row;
    int listed;
    int listErrors;
};

constexpr std::array<std::uint8_t, 4> kListed{127, 0, 0, 2};

void PrintTo(const TestPointCase& c, std::ostream* out) {
    *out << c.label;
}

class BrokenLists : public ::testing::TestWithParam<TestPointCase> {};

TEST_P(BrokenLists, RowReadsWhatTheTestPointsSay) {
    JudgedFixture f;
    f.table.setZone(0, "list.example ");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2});
    if (GetParam().hostAnswer) {
        f.resolver.answer("2.0.0.127.list.example", *GetParam().hostAnswer);
    }
    GetParam().script(*f.points);
    RecordingView view(f.log, "127.0.0.2");

    const auto summary = f.runJudged(view);

    EXPECT_EQ(summary.outcome, LookupOutcome::Completed);
    EXPECT_EQ(f.table.result(0), GetParam().row);
    EXPECT_EQ(summary.rows[0]->verdict, GetParam().row);
    EXPECT_EQ(f.table.background(0), GetParam().listed ? kDarkRed : kWhite);
    EXPECT_EQ(summary.listed, GetParam().listed);
    EXPECT_EQ(summary.listErrors, GetParam().listErrors);
    auto asked = f.points->asked();
    std::sort(asked.begin(), asked.end());
    EXPECT_THAT(asked, ElementsAre("1.0.0.127.list.example", "2.0.0.127.list.example"));
    EXPECT_EQ(f.log.lines.back(), "enable");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenLists,
    ::testing::Values(
        TestPointCase{"Working", kListed,
                      [](ScriptedResolver& r) { r.workingList("list.example"); },
                      "Listed: 127.0.0.2", 1, 0},
        TestPointCase{
            "ListsEverything", kListed,
            [](ScriptedResolver& r) {
                r.workingList("list.example").answer("1.0.0.127.list.example", {127, 0, 0, 2});
            },
            "List error: lists everything", 0, 1},
        TestPointCase{"ListsNothing", std::nullopt, [](ScriptedResolver&) {},
                      "List error: not a working list", 0, 1},
        TestPointCase{"TestPointUnanswered", kListed,
                      [](ScriptedResolver& r) { r.noAnswer("2.0.0.127.list.example"); },
                      "List error: not a working list", 0, 1},
        TestPointCase{"RefusesUs", kListed,
                      [](ScriptedResolver& r) {
                          r.workingList("list.example")
                              .answer("1.0.0.127.list.example", {127, 255, 255, 254});
                      },
                      "List error: 127.255.255.254", 0, 1},
        TestPointCase{"ParkedDomain", kListed,
                      [](ScriptedResolver& r) {
                          r.answer("2.0.0.127.list.example", {198, 51, 100, 80});
                      },
                      "List error: 198.51.100.80", 0, 1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TestPoints, FailedRowsAreNotAskedAndSharedListsOnce) {
    JudgedFixture f;
    f.table.setZone(0, "dead.example");
    f.table.setZone(1, "refusing.example");
    f.table.setZone(2, "..");
    f.table.setZone(3, "shared.example");
    f.table.setZone(4, "shared.example.");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2})
        .noAnswer("2.0.0.127.dead.example")
        .answer("2.0.0.127.refusing.example", {127, 255, 255, 254});
    RecordingView view(f.log, "127.0.0.2");

    const auto summary = f.runJudged(view);

    EXPECT_EQ(f.table.result(0), "Lookup failed");
    EXPECT_EQ(f.table.result(1), "List error: 127.255.255.254");
    EXPECT_EQ(f.table.result(2), "List error: not a DNS name");
    EXPECT_EQ(f.table.result(3), "List error: not a working list");
    EXPECT_EQ(f.table.result(4), "List error: not a working list");
    EXPECT_EQ(summary.unanswered, 1);
    EXPECT_EQ(summary.listErrors, 4);
    auto asked = f.points->asked();
    std::sort(asked.begin(), asked.end());
    EXPECT_THAT(asked, ElementsAre("1.0.0.127.shared.example", "2.0.0.127.shared.example"));
}

// A test point that never comes back costs the bound, not the resolver's
// time-out; the view keeps its events meanwhile, and the stuck thread keeps
// what it uses after the run has returned.
TEST(TestPoints, AStuckQuestionEndsTheWaitAtTheBound) {
    JudgedFixture f;
    f.table.setZone(0, "slow.example");
    f.table.setZone(1, "quick.example");
    f.resolver.answer("127.0.0.2", {127, 0, 0, 2});
    f.points->workingList("slow.example").workingList("quick.example");
    f.points->stall("2.0.0.127.slow.example");
    RecordingView view(f.log, "127.0.0.2");

    const auto started = std::chrono::steady_clock::now();
    const auto summary = f.runJudged(view, std::chrono::milliseconds(100));
    const auto took = std::chrono::steady_clock::now() - started;

    EXPECT_GE(took, std::chrono::milliseconds(100));
    EXPECT_EQ(f.table.result(0), "List error: not a working list");
    EXPECT_EQ(f.table.result(1), "Not Found");
    EXPECT_GT(f.log.count("yield"), 2 + 4 * 2);
    std::weak_ptr<ScriptedResolver> points = f.points;
    f.points.reset();
    ASSERT_FALSE(points.expired()) << "the stuck question owns its resolver";
    points.lock()->release();
    while (!points.expired()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST(TestPoints, WindowClosedOrRowChangedDuringTheWait) {
    for (const bool close : {true, false}) {
        JudgedFixture f;
        f.table.setZone(0, "dead.example");
        f.resolver.answer("127.0.0.2", {127, 0, 0, 2});
        f.points->stall("2.0.0.127.dead.example");
        RecordingView view(f.log, "127.0.0.2");
        int yields = 0;
        view.onYield = [&] {
            // The run's own yields are 2 + 4; the next are the wait's.
            if (++yields == 8) {
                f.points->release();
                if (close) {
                    view.closed = true;
                } else {
                    f.table.setZone(0, "other.example");
                }
            }
        };
        const auto summary = f.runJudged(view);
        EXPECT_EQ(summary.outcome, close ? LookupOutcome::Abandoned : LookupOutcome::Completed);
        EXPECT_EQ(f.table.result(0), "Not Found") << close;
        EXPECT_EQ(summary.listErrors, 0) << close;
    }
}

}  // namespace
}  // namespace ostrivane
