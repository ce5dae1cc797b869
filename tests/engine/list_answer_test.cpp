#include "engine/list_answer.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

using Kind = ListAnswer::Kind;
using Bytes = std::array<std::uint8_t, 4>;

struct VerdictCase {
    const char* what;
    ListAnswer answer;
    ZoneHealth health;
    CheckVerdict verdict;
};

const VerdictCase kVerdicts[] = {
    {"listing",
     {Kind::Addresses, {Bytes{127, 0, 0, 4}}},
     ZoneHealth::Healthy,
     CheckVerdict::Listed},
    {"two listing answers",
     {Kind::Addresses, {Bytes{127, 0, 0, 2}, Bytes{127, 0, 0, 10}}},
     ZoneHealth::Healthy,
     CheckVerdict::Listed},
    {"top of the listing range",
     {Kind::Addresses, {Bytes{127, 255, 254, 255}}},
     ZoneHealth::Healthy,
     CheckVerdict::Listed},
    {"error code",
     {Kind::Addresses, {Bytes{127, 255, 255, 254}}},
     ZoneHealth::Healthy,
     CheckVerdict::ListError},
    {"error code beside a listing",
     {Kind::Addresses, {Bytes{127, 0, 0, 2}, Bytes{127, 255, 255, 252}}},
     ZoneHealth::Healthy,
     CheckVerdict::ListError},
    {"outside 127/8 (a parked domain)",
     {Kind::Addresses, {Bytes{198, 51, 100, 80}}},
     ZoneHealth::Healthy,
     CheckVerdict::ListError},
    {"NXDOMAIN", {Kind::NotFound, {}}, ZoneHealth::Healthy, CheckVerdict::NotListed},
    {"time-out", {Kind::NoAnswer, {}}, ZoneHealth::Healthy, CheckVerdict::NoAnswer},
    {"listing on a list that lists everything",
     {Kind::Addresses, {Bytes{127, 0, 0, 2}}},
     ZoneHealth::ListsEverything,
     CheckVerdict::BrokenZone},
    {"not listed on a dead list",
     {Kind::NotFound, {}},
     ZoneHealth::EmptyOrDead,
     CheckVerdict::BrokenZone},
    {"never asked on a dead list",
     {Kind::NoAnswer, {}},
     ZoneHealth::EmptyOrDead,
     CheckVerdict::BrokenZone},
    {"not listed on a refusing list",
     {Kind::NotFound, {}},
     ZoneHealth::RefusesUs,
     CheckVerdict::ListError},
};

// The zone's state for the other family decides only where its own is bad.
TEST(ListAnswer, VerdictWithTheOtherFamilysState) {
    const ListAnswer listed{Kind::Addresses, {Bytes{127, 0, 0, 2}}};
    const ListAnswer notFound{Kind::NotFound, {}};
    struct Case {
        const char* what;
        ListAnswer answer;
        ZoneHealth own, other;
        CheckVerdict verdict;
    };
    const Case cases[] = {
        {"covers the other family only", notFound, ZoneHealth::EmptyOrDead, ZoneHealth::Healthy,
         CheckVerdict::NotCovered},
        {"dead for both", notFound, ZoneHealth::EmptyOrDead, ZoneHealth::EmptyOrDead,
         CheckVerdict::BrokenZone},
        {"lists everything of this family", listed, ZoneHealth::ListsEverything,
         ZoneHealth::Healthy, CheckVerdict::BrokenZone},
        {"refuses us for this family", notFound, ZoneHealth::RefusesUs, ZoneHealth::Healthy,
         CheckVerdict::ListError},
        {"healthy here, dead there", listed, ZoneHealth::Healthy, ZoneHealth::EmptyOrDead,
         CheckVerdict::Listed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkVerdictText(verdictOf(c.answer, c.own, c.other)),
                  checkVerdictText(c.verdict))
            << c.what;
    }
}

// What a reply said becomes an answer; anything unusable is no answer, never
// "not found".
TEST(ListAnswer, AnswerOfEachReplyOutcome) {
    DnsRecords records;
    records.outcome = DnsRecords::Outcome::Records;
    records.v4 = {Bytes{127, 0, 0, 4}};
    EXPECT_EQ(listAnswerOf(records).kind, Kind::Addresses);
    EXPECT_EQ(listAnswerOf(records).addresses, records.v4);
    records.v4.clear();
    records.txt = {"a TXT record where A was asked"};
    EXPECT_EQ(listAnswerOf(records).kind, Kind::NoAnswer);
    for (const auto outcome : {DnsRecords::Outcome::NoRecord, DnsRecords::Outcome::NoSuchName}) {
        records.outcome = outcome;
        EXPECT_EQ(listAnswerOf(records).kind, Kind::NotFound);
    }
    records.outcome = DnsRecords::Outcome::Unusable;
    EXPECT_EQ(listAnswerOf(records).kind, Kind::NoAnswer);
}

TEST(ListAnswer, VerdictOfEachAnswerAndZoneState) {
    for (const auto& c : kVerdicts) {
        EXPECT_EQ(checkVerdictText(verdictOf(c.answer, c.health)), checkVerdictText(c.verdict))
            << c.what;
    }
}

// The engine hands core's zone classification what c-ares said; the mapping
// must keep NXDOMAIN apart from no answer, or a dead list would look healthy.
TEST(ListAnswer, HealthQuestionsClassifyAsCoreDoes) {
    const ListAnswer listed{Kind::Addresses, {Bytes{127, 0, 0, 2}}};
    const ListAnswer notFound{Kind::NotFound, {}};
    const ListAnswer silent{Kind::NoAnswer, {}};
    const ListAnswer refused{Kind::Addresses, {Bytes{127, 255, 255, 254}}};
    EXPECT_EQ(classifyZone(resolutionOf(listed), resolutionOf(notFound)), ZoneHealth::Healthy);
    EXPECT_EQ(classifyZone(resolutionOf(listed), resolutionOf(listed)),
              ZoneHealth::ListsEverything);
    EXPECT_EQ(classifyZone(resolutionOf(notFound), resolutionOf(notFound)),
              ZoneHealth::EmptyOrDead);
    EXPECT_EQ(classifyZone(resolutionOf(listed), resolutionOf(silent)), ZoneHealth::EmptyOrDead);
    EXPECT_EQ(classifyZone(resolutionOf(refused), resolutionOf(refused)), ZoneHealth::RefusesUs);
}

}  // namespace
}  // namespace ostrivane
