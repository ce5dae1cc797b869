#include "core/zone_health.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "core/memory_table.h"
#include "support/thread_safe_resolver.h"

namespace ostrivane {
namespace {

using namespace std::chrono_literals;

using testing::kNoAnswer;
using testing::kNotFound;
using testing::listed;
using testing::ThreadSafeFakeResolver;

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

}  // namespace
}  // namespace ostrivane
