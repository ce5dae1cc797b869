#include "core/zone_health.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace ostrivane {
namespace {

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

}  // namespace
}  // namespace ostrivane
