#include "core/zone_health.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/memory_table.h"

namespace ostrivane {
namespace {

using namespace std::chrono_literals;
using Bytes = std::array<std::uint8_t, 4>;

Resolution listed(Bytes address) {
    return {ResolveStatus::Resolved, address};
}
const Resolution kNotFound{ResolveStatus::NotFound, {}};
const Resolution kNoAnswer{ResolveStatus::NoAnswer, {}};

struct ClassifyCase {
    const char* what;
    Resolution for127_0_0_2;
    Resolution for127_0_0_1;
    ZoneHealth expected;
};

TEST(ClassifyZone, EveryMixOfAnswersHasOneState) {
    const Resolution two = listed({127, 0, 0, 2});
    const Resolution refusal = listed({127, 255, 255, 254});
    const std::vector<ClassifyCase> cases{
        {"the usual test answers", two, kNotFound, ZoneHealth::Healthy},
        {"any listing code counts", listed({127, 0, 0, 4}), kNotFound, ZoneHealth::Healthy},
        {"just below the error range is a listing", listed({127, 255, 254, 255}), kNotFound,
         ZoneHealth::Healthy},
        {"both listed", two, two, ZoneHealth::ListsEverything},
        {"only 127.0.0.1 listed", kNotFound, two, ZoneHealth::ListsEverything},
        {"127.0.0.1 listed, 127.0.0.2 unanswered", kNoAnswer, two, ZoneHealth::ListsEverything},
        {"nothing listed", kNotFound, kNotFound, ZoneHealth::EmptyOrDead},
        {"nothing answered", kNoAnswer, kNoAnswer, ZoneHealth::EmptyOrDead},
        {"127.0.0.2 unanswered", kNoAnswer, kNotFound, ZoneHealth::EmptyOrDead},
        {"127.0.0.2 not listed, 127.0.0.1 unanswered", kNotFound, kNoAnswer,
         ZoneHealth::EmptyOrDead},
        {"127.0.0.1 unanswered proves nothing", two, kNoAnswer, ZoneHealth::EmptyOrDead},
        {"both refused", refusal, refusal, ZoneHealth::RefusesUs},
        {"lowest error code", listed({127, 255, 255, 0}), kNotFound, ZoneHealth::RefusesUs},
        {"refusal beats no answer", refusal, kNoAnswer, ZoneHealth::RefusesUs},
        {"no answer then refusal", kNoAnswer, refusal, ZoneHealth::RefusesUs},
        {"refusal beats a listing of 127.0.0.2", two, refusal, ZoneHealth::RefusesUs},
        {"refusal beats a listing of 127.0.0.1", refusal, two, ZoneHealth::RefusesUs},
        {"a parked domain's web server answers everything", listed({198, 51, 100, 80}),
         listed({198, 51, 100, 80}), ZoneHealth::RefusesUs},
        {"0.0.0.0 for 127.0.0.1 is no listing", two, listed({0, 0, 0, 0}), ZoneHealth::RefusesUs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(zoneHealthText(classifyZone(c.for127_0_0_2, c.for127_0_0_1)),
                  zoneHealthText(c.expected));
    }
}

// Answers by name from several threads at once. Names under a hanging zone are
// held back until the resolver is destroyed (or a safety limit passes, so a
// check that waited for them fails instead of hanging). Its destructor waits
// until every call has left, so a worker that the check abandoned never calls
// into a destroyed resolver.
class ThreadSafeFakeResolver final : public Resolver {
  public:
    static constexpr auto kSafetyLimit = 10s;

    ThreadSafeFakeResolver& answer(const std::string& name, Bytes address) {
        m_script[name] = listed(address);
        return *this;
    }
    ThreadSafeFakeResolver& noAnswer(const std::string& name) {
        m_script[name] = kNoAnswer;
        return *this;
    }
    ThreadSafeFakeResolver& hangUnder(const std::string& zone) {
        m_hanging.insert(zone);
        return *this;
    }
    ThreadSafeFakeResolver& throwFor(const std::string& name) {
        m_throwing.insert(name);
        return *this;
    }
    // Every call waits until this many calls have arrived: only a check that
    // asks them all at once gets its answers in time.
    ThreadSafeFakeResolver& gather(int calls) {
        m_gather = calls;
        return *this;
    }

    ~ThreadSafeFakeResolver() override {
        std::unique_lock lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_inFlight == 0; });
    }

    Resolution resolve(std::string_view name) override {
        std::unique_lock lock(m_mutex);
        const std::string asked(name);
        m_asked.push_back(asked);
        ++m_arrived;
        ++m_inFlight;
        m_mostInFlight = std::max(m_mostInFlight, m_inFlight);
        m_changed.notify_all();

        m_changed.wait_for(lock, kSafetyLimit,
                           [this] { return m_released || m_arrived >= m_gather; });
        if (isHanging(asked)) {
            m_changed.wait_for(lock, kSafetyLimit, [this] { return m_released; });
        }
        const auto found = m_script.find(asked);
        const Resolution result = found == m_script.end() ? kNotFound : found->second;
        const bool throws = m_throwing.contains(asked);
        --m_inFlight;
        m_changed.notify_all();
        if (throws) {
            throw std::runtime_error("resolver broke");
        }
        return result;
    }

    std::vector<std::string> askedSorted() {
        const std::lock_guard lock(m_mutex);
        auto asked = m_asked;
        std::sort(asked.begin(), asked.end());
        return asked;
    }
    int mostInFlight() {
        const std::lock_guard lock(m_mutex);
        return m_mostInFlight;
    }

  private:
    bool isHanging(const std::string& name) const {
        return std::any_of(m_hanging.begin(), m_hanging.end(),
                           [&name](const std::string& zone) { return name.ends_with("." + zone); });
    }

    std::map<std::string, Resolution> m_script;
    std::set<std::string> m_hanging;
    std::set<std::string> m_throwing;
    int m_gather = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
    int m_arrived = 0;
    int m_inFlight = 0;
    int m_mostInFlight = 0;
    std::vector<std::string> m_asked;
};

std::string answerOf(const ProbeAnswer& probe) {
    if (probe.resolution.address) {
        return formatDottedQuad(*probe.resolution.address);
    }
    const bool found = probe.resolution.status == ResolveStatus::NotFound;
    return std::string(found ? "not listed" : "no answer") + (probe.timedOut ? ", timed out" : "");
}

// "row zone: state (answer for 127.0.0.2 / answer for 127.0.0.1)"
std::vector<std::string> describe(const std::vector<ZoneCheck>& checks) {
    std::vector<std::string> lines;
    for (const auto& c : checks) {
        lines.push_back(std::to_string(c.row) + " " + c.zone + ": " +
                        std::string(zoneHealthText(c.health)) + " (" + answerOf(c.for127_0_0_2) +
                        " / " + answerOf(c.for127_0_0_1) + ")");
    }
    return lines;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(CheckZones, ClassifiesEveryRowWithAZoneAndGivesUpOnASilentOne) {
    MemoryTable table;
    const std::vector<std::pair<std::string, std::string>> rows{
        {"Healthy", "bl.test"},   {"Name only", ""},           {"Wildcard", "wild.test"},
        {"Dead", "empty.test"},   {"Refusing", "refuse.test"}, {"Silent", "silent.test"},
        {"Failing", "fail.test"}, {"Broken", "throw.test"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        table.setName(static_cast<int>(i), rows[i].first);
        table.setZone(static_cast<int>(i), rows[i].second);
    }
    table.setZone(19, "last.test");

    ThreadSafeFakeResolver resolver;
    resolver.answer("2.0.0.127.bl.test", {127, 0, 0, 2})
        .answer("2.0.0.127.last.test", {127, 0, 0, 2})
        .answer("2.0.0.127.wild.test", {127, 0, 0, 2})
        .answer("1.0.0.127.wild.test", {127, 0, 0, 2})
        .answer("2.0.0.127.refuse.test", {127, 255, 255, 254})
        .answer("1.0.0.127.refuse.test", {127, 255, 255, 254})
        .noAnswer("2.0.0.127.fail.test")
        .noAnswer("1.0.0.127.fail.test")
        .answer("2.0.0.127.throw.test", {127, 0, 0, 2})
        .throwFor("1.0.0.127.throw.test")
        .hangUnder("silent.test");

    const auto start = std::chrono::steady_clock::now();
    const auto checks = checkZones(table, resolver, {200ms, 400ms});
    EXPECT_LT(secondsSince(start), 3.0);

    const std::vector<std::string> expected{
        "0 bl.test: healthy (127.0.0.2 / not listed)",
        "2 wild.test: lists everything (127.0.0.2 / 127.0.0.2)",
        "3 empty.test: empty or dead (not listed / not listed)",
        "4 refuse.test: refuses us (127.255.255.254 / 127.255.255.254)",
        "5 silent.test: empty or dead (no answer, timed out / no answer, timed out)",
        "6 fail.test: empty or dead (no answer / no answer)",
        "7 throw.test: empty or dead (127.0.0.2 / no answer)",
        "19 last.test: healthy (127.0.0.2 / not listed)",
    };
    EXPECT_EQ(describe(checks), expected);
    EXPECT_EQ(checks.front().name, "Healthy");
    EXPECT_EQ(checks.back().name, "");

    std::vector<std::string> expectedAsked;
    for (const auto* zone : {"bl.test", "wild.test", "empty.test", "refuse.test", "silent.test",
                             "fail.test", "throw.test", "last.test"}) {
        expectedAsked.push_back(std::string("1.0.0.127.") + zone);
        expectedAsked.push_back(std::string("2.0.0.127.") + zone);
    }
    std::sort(expectedAsked.begin(), expectedAsked.end());
    EXPECT_EQ(resolver.askedSorted(), expectedAsked);
}

TEST(CheckZones, TheWholeBoundCutsShortALongerZoneBound) {
    MemoryTable table;
    table.setZone(0, "bl.test");
    table.setZone(1, "silent.test");
    ThreadSafeFakeResolver resolver;
    resolver.answer("2.0.0.127.bl.test", {127, 0, 0, 2}).hangUnder("silent.test");

    const auto start = std::chrono::steady_clock::now();
    const auto checks = checkZones(table, resolver, {5s, 150ms});
    EXPECT_LT(secondsSince(start), 3.0);

    const std::vector<std::string> expected{
        "0 bl.test: healthy (127.0.0.2 / not listed)",
        "1 silent.test: empty or dead (no answer, timed out / no answer, timed out)",
    };
    EXPECT_EQ(describe(checks), expected);
}

TEST(CheckZones, AsksEveryZoneAtOnce) {
    constexpr int kZones = 8;
    MemoryTable table;
    ThreadSafeFakeResolver resolver;
    for (int row = 0; row < kZones; ++row) {
        const auto zone = "z" + std::to_string(row) + ".test";
        table.setZone(row, zone);
        resolver.answer("2.0.0.127." + zone, {127, 0, 0, 2});
    }
    // A check that asked one question at a time would see its first question
    // held back past the zone's bound.
    resolver.gather(2 * kZones);

    const auto checks = checkZones(table, resolver, {3s, 4s});

    EXPECT_EQ(resolver.mostInFlight(), 2 * kZones);
    ASSERT_EQ(checks.size(), std::size_t{kZones});
    for (const auto& check : checks) {
        EXPECT_EQ(zoneHealthText(check.health), "healthy") << check.zone;
    }
}

ZoneCheck checked(int row, std::string name, std::string zone, Resolution for2, Resolution for1,
                  bool timedOut = false) {
    ZoneCheck check{row, std::move(name), std::move(zone), {for2, timedOut}, {for1, timedOut}, {}};
    check.health = classifyZone(for2, for1);
    return check;
}

TEST(PrintZoneChecks, AlignsTheColumnsAndSumsUp) {
    const std::vector<ZoneCheck> checks{
        checked(0, "Spamhaus SBL", "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(2, "", "wild.test", listed({127, 0, 0, 2}), listed({127, 0, 0, 2})),
        checked(9, "Refusing", "refuse.test", listed({127, 255, 255, 254}), kNoAnswer),
        checked(11, "Dead", "silent.test", kNoAnswer, kNoAnswer, true),
        checked(12, "Empty", "empty.test", kNotFound, kNotFound),
    };
    std::ostringstream out;
    printZoneChecks(out, checks);
    EXPECT_EQ(out.str(),
              "Row  Name          Zone         State             127.0.0.2        127.0.0.1\n"
              "  1  Spamhaus SBL  bl.test      healthy           127.0.0.2        not listed\n"
              "  3                wild.test    lists everything  127.0.0.2        127.0.0.2\n"
              " 10  Refusing      refuse.test  refuses us        127.255.255.254  no answer\n"
              " 12  Dead          silent.test  empty or dead     timed out        timed out\n"
              " 13  Empty         empty.test   empty or dead     not listed       not listed\n"
              "\n"
              "1 of 5 lists healthy; lists everything: 1, empty or dead: 2, refuses us: 1\n");
}

TEST(PrintZoneChecks, EscapesControlCharactersAndAlignsByDisplayWidth) {
    const std::vector<ZoneCheck> checks{
        checked(0,
                "T\x1b]0;pwned\x07"
                "ab\tc",
                "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(1, "Liste f\xc3\xbcr Spam", "bl.test", listed({127, 0, 0, 2}), kNotFound),
        checked(2, "\xe9\xbb\x91\xe5\x90\x8d\xe5\x8d\x95", "bl.test", listed({127, 0, 0, 2}),
                kNotFound),
    };
    std::ostringstream out;
    printZoneChecks(out, checks);
    EXPECT_EQ(out.str(),
              "Row  Name                    Zone     State    127.0.0.2  127.0.0.1\n"
              "  1  T\\x1b]0;pwned\\x07ab\\tc  bl.test  healthy  127.0.0.2  not listed\n"
              "  2  Liste f\xc3\xbcr Spam          bl.test  healthy  127.0.0.2  not listed\n"
              "  3  \xe9\xbb\x91\xe5\x90\x8d\xe5\x8d\x95                  bl.test  healthy  "
              "127.0.0.2  not listed\n"
              "\n"
              "3 of 3 lists healthy\n");
}

// The check as the zone check mode runs it: the number of unhealthy zones.
long runZoneCheck(const BlacklistTable& table, Resolver& resolver, std::ostream& out,
                  ZoneCheckLimits limits = {}) {
    const auto checks = checkZones(table, resolver, limits);
    printZoneChecks(out, checks);
    return std::count_if(checks.begin(), checks.end(), [](const ZoneCheck& check) {
        return check.health != ZoneHealth::Healthy;
    });
}

TEST(RunZoneCheck, CountsEveryZoneThatIsNotHealthy) {
    MemoryTable table;
    table.setName(4, "Healthy");
    table.setZone(4, "bl.test");
    ThreadSafeFakeResolver resolver;
    resolver.answer("2.0.0.127.bl.test", {127, 0, 0, 2});

    std::ostringstream healthy;
    EXPECT_EQ(runZoneCheck(table, resolver, healthy, {1s, 2s}), 0);
    EXPECT_EQ(healthy.str(),
              "Row  Name     Zone     State    127.0.0.2  127.0.0.1\n"
              "  5  Healthy  bl.test  healthy  127.0.0.2  not listed\n"
              "\n"
              "1 of 1 list healthy\n");

    table.setZone(7, "empty.test");
    std::ostringstream unhealthy;
    EXPECT_EQ(runZoneCheck(table, resolver, unhealthy, {1s, 2s}), 1);
    EXPECT_TRUE(unhealthy.str().ends_with("\n1 of 2 lists healthy; empty or dead: 1\n"))
        << unhealthy.str();
}

TEST(RunZoneCheck, ATableWithoutZonesAsksNothing) {
    MemoryTable table;
    table.setName(0, "Name without a zone");
    ThreadSafeFakeResolver resolver;
    std::ostringstream out;
    EXPECT_EQ(runZoneCheck(table, resolver, out), 0);
    EXPECT_EQ(out.str(), "No row has a zone: nothing to check.\n");
    EXPECT_EQ(resolver.askedSorted(), std::vector<std::string>{});
}

}  // namespace
}  // namespace ostrivane
