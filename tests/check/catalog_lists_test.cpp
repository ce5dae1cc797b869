#include "check/catalog_lists.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ostrivane {
namespace {

AnswerCode code(std::uint32_t value, AnswerClass answerClass, std::string meaning,
                bool refusal = false) {
    return {value, value, 0, std::move(meaning), answerClass, refusal};
}

// Two catalog lists with a key template and a domain list's error code, a
// dead one, and a zone the catalog does not know.
Catalog testCatalog() {
    CatalogList zen;
    zen.id = "zen";
    zen.name = "ZEN";
    zen.provider = "spamhaus";
    zen.zone = "zen.test";
    zen.kinds = {ListKind::IPv4};
    zen.keyZone = "{key}.zen.dq.test";
    zen.info = "https://zen.test/about";
    zen.isDefault = true;
    zen.answers = {code(0x7f00000a, AnswerClass::PolicyListing, "PBL"),
                   code(0x7f000002, AnswerClass::Listing, "SBL"),
                   code(0x7ffffffe, AnswerClass::ListError, "public resolver", true),
                   code(0x7f0001ff, AnswerClass::ListError, "an address asked of a domain list"),
                   code(0x7f000012, AnswerClass::Reputation, "a good sender")};
    CatalogList dead;
    dead.id = "dead";
    dead.name = "Dead";
    dead.zone = "dead.test";
    dead.kinds = {ListKind::IPv4};
    dead.status = ListStatus::Dead;
    dead.isDefault = true;  // a dead list never joins the default set, marked or not
    CatalogList dbl;
    dbl.id = "dbl";
    dbl.name = "DBL";
    dbl.provider = "spamhaus";
    dbl.zone = "dbl.test";
    dbl.kinds = {ListKind::Domains};
    dbl.keyZone = "{key}.dbl.dq.test";
    dbl.isDefault = true;
    dbl.answers = {code(0x7f000102, AnswerClass::Listing, "spam domain"),
                   code(0x7f0001ff, AnswerClass::ListError, "an address asked of a domain list")};
    CatalogList both = dbl;
    both.id = "both";
    both.zone = "both.test";
    both.kinds = {ListKind::IPv4, ListKind::Domains};
    both.isDefault = false;
    return Catalog("2026-12-07", {zen, dead, dbl, both});
}

CheckResult resultOf(std::string zone, CheckVerdict verdict, std::vector<std::string> answers,
                     std::string reason = {}) {
    CheckResult result;
    result.target = result.address = "192.0.2.10";
    result.zone = std::move(zone);
    result.verdict = verdict;
    result.answers = std::move(answers);
    result.reason = std::move(reason);
    return result;
}

TEST(CatalogLists, ZonesByIdOrZoneThroughTheKeyAndTheDefaultSet) {
    const Catalog catalog = testCatalog();
    const CatalogUse keyed{&catalog, {{"spamhaus", "k3y"}}, std::nullopt};
    const CatalogUse plain{&catalog, {}, std::nullopt};
    struct Case {
        const CatalogUse* use;
        std::vector<std::string> names;
        std::vector<std::string> zones;
    } cases[] = {
        {&plain, {"zen", "zen.test", "other.test"}, {"zen.test", "other.test"}},
        {&keyed, {"zen.test"}, {"k3y.zen.dq.test"}},
        {&keyed, {"zen"}, {"k3y.zen.dq.test"}},
        {&plain, {"dead"}, {"dead.test"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> zones;
        for (const auto& zone : zonesNamed(c.names, *c.use))
            zones.push_back(zone.zone);
        EXPECT_EQ(zones, c.zones);
    }
    const auto defaults = defaultZones(keyed).addresses;
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults[0].zone, "k3y.zen.dq.test");
    EXPECT_EQ(defaults[0].name, "ZEN");
}

// Which side of the run each list is asked on: addresses, or the domain names
// of mail targets; and whether the catalog decodes it.
TEST(CatalogLists, DomainListsGoToTheDomainSide) {
    const Catalog catalog = testCatalog();
    const CatalogUse keyed{&catalog, {{"spamhaus", "k3y"}}, std::nullopt};
    const CatalogUse plain{&catalog, {}, std::nullopt};
    const CatalogUse none{};
    auto zonesOf = [](const std::vector<AskedZone>& zones) {
        std::vector<std::string> shown;
        for (const auto& zone : zones) {
            shown.push_back(zone.zone + (zone.decodedByCatalog ? "" : " (bare)"));
        }
        return shown;
    };
    struct Case {
        const char* name;
        ChosenZones choice;
        std::vector<std::string> addresses;
        std::vector<std::string> domains;
    } cases[] = {
        {"by id and zone",
         zonesChosen({"zen", "dbl", "other.test", "dbl.test"}, plain),
         {"zen.test", "other.test (bare)"},
         {"dbl.test"}},
        {"through the key",
         zonesChosen({"dbl", "zen"}, keyed),
         {"k3y.zen.dq.test"},
         {"k3y.dbl.dq.test"}},
        {"a list of both kinds on both sides",
         zonesChosen({"both"}, plain),
         {"both.test"},
         {"both.test"}},
        {"without a catalog every zone is an address list",
         zonesChosen({"dbl.test"}, none),
         {"dbl.test (bare)"},
         {}},
        {"the default set: alive and default, for addresses and domains",
         defaultZones(plain),
         {"zen.test"},
         {"dbl.test"}},
        {"a list file's zones, asked as written",
         zonesSplit({{"dbl.test", "Mine"}, {"zen.test", "Z"}, {"x.test", ""}}, plain),
         {"zen.test", "x.test (bare)"},
         {"dbl.test"}},
        {"a list file's zone with a key is not the keyed list the catalog decodes",
         zonesSplit({{"dbl.test", "Mine"}}, keyed),
         {},
         {"dbl.test (bare)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(zonesOf(c.choice.addresses), c.addresses);
        EXPECT_EQ(zonesOf(c.choice.domains), c.domains);
    }
}

TEST(CatalogLists, AnswersDecodedKeysHiddenAndDocumentedErrorsAreNoListing) {
    const Catalog catalog = testCatalog();
    const CatalogUse use{&catalog, {{"spamhaus", "k3y"}}, std::nullopt};
    CheckRun run;
    run.zones = {{"k3y.zen.dq.test", "ZEN", ZoneHealth::Healthy},
                 {"other.test", "", ZoneHealth::Healthy}};
    run.zones[0].testAnswers = run.zones[1].testAnswers = {"127.0.0.2"};
    run.results = {resultOf("k3y.zen.dq.test", CheckVerdict::Listed, {"127.0.0.10", "127.0.0.2"},
                            "see https://k3y.zen.dq.test/"),
                   resultOf("k3y.zen.dq.test", CheckVerdict::Listed, {"127.0.1.255"}, "x"),
                   resultOf("other.test", CheckVerdict::Listed, {"127.0.0.10"}),
                   resultOf("k3y.zen.dq.test", CheckVerdict::Listed, {"127.0.0.18"}),
                   resultOf("k3y.zen.dq.test", CheckVerdict::Listed, {"127.0.0.18", "127.0.0.2"})};
    applyCatalog(run, use);

    EXPECT_EQ(run.zones[0].zone, "zen.dq.test");
    EXPECT_EQ(run.zones[0].info, "https://zen.test/about");
    EXPECT_EQ(run.zones[1].info, "");
    EXPECT_EQ(run.results[0].zone, "zen.dq.test");
    EXPECT_EQ(run.results[0].reason, "see https://KEY.zen.dq.test/");
    ASSERT_EQ(run.results[0].meanings.size(), 2u);
    EXPECT_EQ(run.results[0].meanings[0].answerClass, "policy-listing");
    EXPECT_EQ(run.results[0].meanings[0].meaning, "PBL");
    EXPECT_EQ(run.results[0].meanings[1].answerClass, "listing");
    EXPECT_EQ(run.results[0].verdict, CheckVerdict::Listed);
    EXPECT_EQ(run.results[1].verdict, CheckVerdict::ListError);
    EXPECT_EQ(run.results[1].reason, "");
    EXPECT_TRUE(run.results[2].meanings.empty());  // not a catalog list: bare codes
    EXPECT_EQ(run.results[2].verdict, CheckVerdict::Listed);
    // A reputation is never a listing; beside a listing, the listing counts.
    EXPECT_EQ(run.results[3].verdict, CheckVerdict::NotListed);
    EXPECT_EQ(run.results[3].meanings[0].answerClass, "reputation");
    EXPECT_EQ(run.results[4].verdict, CheckVerdict::Listed);
    EXPECT_TRUE(run.notices.empty());
}

TEST(CatalogLists, RefusalsAndDeadListsAreSaidOncePerList) {
    const Catalog catalog = testCatalog();
    const CatalogUse use{&catalog, {}, std::nullopt};
    struct Case {
        ZoneHealth zenHealth;
        std::vector<std::string> zenTest;
        std::vector<std::string> zenAnswers;  // for each of three addresses
        ZoneHealth deadHealth;
        std::vector<std::string> notices;  // the start of each notice
    } cases[] = {
        {ZoneHealth::RefusesUs,
         {"127.255.255.254"},
         {},
         ZoneHealth::Healthy,
         {"ZEN (zen.test) refuses queries",
          "Dead (dead.test) looks dead (the catalog marks it dead)"}},
        {ZoneHealth::Healthy,
         {"127.0.0.2"},
         {"127.255.255.254"},
         ZoneHealth::Healthy,
         {"ZEN (zen.test) refuses queries", "Dead (dead.test) looks dead"}},
        {ZoneHealth::ListsEverything,
         {"127.0.0.2"},
         {},
         ZoneHealth::EmptyOrDead,
         {"ZEN (zen.test) looks dead (it lists every address", "Dead (dead.test) looks dead"}},
        {ZoneHealth::RefusesUs,
         {"127.255.255.255"},
         {},
         ZoneHealth::Healthy,
         {"Dead (dead.test) looks dead"}},
    };
    for (const auto& c : cases) {
        CheckRun run;
        run.zones = {{"zen.test", "ZEN", c.zenHealth}, {"dead.test", "Dead", c.deadHealth}};
        run.zones[0].testAnswers = c.zenTest;
        run.zones[1].testAnswers = {"127.0.0.2"};
        for (int address = 0; address < 3; ++address) {
            const auto verdict =
                c.zenAnswers.empty() ? CheckVerdict::ListError : CheckVerdict::Listed;
            run.results.push_back(resultOf("zen.test", verdict, c.zenAnswers));
            run.results.push_back(resultOf("dead.test", CheckVerdict::NotListed, {}));
        }
        applyCatalog(run, use);
        ASSERT_EQ(run.notices.size(), c.notices.size()) << ::testing::PrintToString(run.notices);
        for (std::size_t i = 0; i < c.notices.size(); ++i) {
            EXPECT_EQ(run.notices[i].rfind(c.notices[i], 0), 0u) << run.notices[i];
        }
        const bool refused =
            !c.notices.empty() && c.notices[0].find("refuses") != std::string::npos;
        if (refused) {
            EXPECT_NE(run.notices[0].find("--server"), std::string::npos);
            EXPECT_NE(run.notices[0].find("OSTRIVANE_KEY_SPAMHAUS"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace ostrivane
