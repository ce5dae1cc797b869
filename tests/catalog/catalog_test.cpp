#include "catalog/catalog.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <variant>

#include "catalog/catalog_file.h"
#include "catalog/key_zone.h"
#include "core/blacklist_table.h"
#include "support/temp_dir.h"

namespace ostrivane {
namespace {

Catalog shipped() {
    auto loaded = loadCatalog(OSTRIVANE_SHIPPED_CATALOG, "/nonexistent/lists.d");
    if (auto* problem = std::get_if<CatalogProblem>(&loaded)) {
        ADD_FAILURE() << problem->message();
        return {};
    }
    return std::get<Catalog>(loaded);
}

TEST(ShippedCatalog, ParsesWithAReviewDateAndUniqueIdsAndZones) {
    const Catalog catalog = shipped();
    EXPECT_EQ(catalog.reviewed().size(), 10u);
    std::set<std::string> ids, zones;
    for (const auto& list : catalog.lists()) {
        EXPECT_TRUE(ids.insert(list.id).second) << "id twice: " << list.id;
        EXPECT_TRUE(zones.insert(list.zone).second) << "zone twice: " << list.zone;
        EXPECT_FALSE(list.answers.empty()) << list.id << " has no answer codes";
        EXPECT_FALSE(list.info.empty()) << list.id;
        EXPECT_FALSE(list.provider.empty()) << list.id;
    }
}

// What --check asks by default must work for anyone without a key and say
// where to read about a listing.
TEST(ShippedCatalog, EveryDefaultListIsAliveKeylessWithTestPointsPerKindAndPages) {
    const Catalog catalog = shipped();
    const auto defaults = catalog.defaultSet({ListKind::IPv4, ListKind::IPv6, ListKind::Domains});
    ASSERT_GE(defaults.size(), 5u);
    for (const auto* list : defaults) {
        EXPECT_EQ(list->status, ListStatus::Alive) << list->id;
        EXPECT_FALSE(list->needsKey) << list->id;
        EXPECT_EQ(list->info.rfind("https://", 0), 0u) << list->id;
        EXPECT_EQ(list->removal.rfind("https://", 0), 0u) << list->id;
        for (ListKind kind : list->kinds) {
            auto ofKind = [&](const std::vector<std::string>& points) {
                int count = 0;
                for (const auto& point : points) {
                    const bool isV4 = parseAnswerCode(point).has_value();
                    const bool isV6 = point.find(':') != std::string::npos;
                    count += kind == ListKind::IPv4   ? isV4
                             : kind == ListKind::IPv6 ? isV6
                                                      : !isV4 && !isV6;
                }
                return count;
            };
            EXPECT_EQ(ofKind(list->testListed), 1) << list->id << " " << listKindText(kind);
            EXPECT_EQ(ofKind(list->testUnlisted), 1) << list->id << " " << listKindText(kind);
        }
    }
}

// The window's 16 defaults are all in the catalog, so --lists and
// --check-zones can say which of them are dead.
TEST(ShippedCatalog, KnowsEveryWindowDefaultAndWhichAreDead) {
    const Catalog catalog = shipped();
    const std::set<std::string> dead{"list.dsbl.org",           "dnsbl.sorbs.net",
                                     "dnsbl.njabl.org",         "dynablock.njabl.org",
                                     "cbl.anti-spam.org.cn",    "l1.spews.dnsbl.sorbs.net",
                                     "l2.spews.dnsbl.sorbs.net"};
    int known = 0;
    for (const auto& row : kDefaultBlacklists) {
        if (row.zone.empty()) {
            continue;
        }
        const auto* list = catalog.findZone(row.zone);
        ASSERT_NE(list, nullptr) << row.zone;
        ++known;
        EXPECT_EQ(list->status == ListStatus::Dead, dead.count(std::string(row.zone)) == 1)
            << row.zone;
        EXPECT_FALSE(list->isDefault && list->status != ListStatus::Alive) << row.zone;
    }
    EXPECT_EQ(known, 16);
}

TEST(ShippedCatalog, EveryCodeIsInTheLoopbackRangeAndErrorsAreListErrors) {
    const Catalog catalog = shipped();
    for (const auto& list : catalog.lists()) {
        for (const auto& code : list.answers) {
            EXPECT_FALSE(code.meaning.empty()) << list.id;
            if (code.bit == 0) {
                EXPECT_EQ(code.first >> 24, 127u) << list.id;
                EXPECT_LE(code.first, code.last) << list.id;
                if ((code.first >> 8) == 0x7fffff) {
                    EXPECT_EQ(code.answerClass, AnswerClass::ListError) << list.id;
                }
            }
            EXPECT_FALSE(code.refusal && code.answerClass != AnswerClass::ListError) << list.id;
        }
        if (list.refusesPublicResolvers && list.id.rfind("spamhaus", 0) == 0) {
            EXPECT_TRUE(std::any_of(list.answers.begin(), list.answers.end(),
                                    [](const AnswerCode& code) { return code.refusal; }))
                << list.id;
        }
    }
}

// The catalog keeps itself true: every fact of a default list has a source,
// and only its removal facts may stay unconfirmed.
TEST(CatalogReview, DefaultListsAreSourcedAndConfirmedButForRemoval) {
    struct Case {
        const char* dropIn;   // over the shipped catalog
        const char* id;       // nullptr: every default list
        const char* problem;  // "": none
    } cases[] = {
        {"", nullptr, ""},
        {"[[list]]\nid = \"spamcop\"\nunconfirmed = [\"removal_hours\", \"removal\"]\n", "spamcop",
         ""},
        {"[[list]]\nid = \"spamcop\"\nunconfirmed = [\"answer\"]\n", "spamcop",
         "\"answer\" is unconfirmed"},
        {"[[list]]\nid = \"spamcop\"\nsources = []\n", "spamcop", "\"zone\" has no source"},
        {"[[list]]\nid = \"psbl\"\nkey_zone = \"{key}.psbl.example\"\n", "psbl",
         "\"key_zone\" has no source"},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv6\"]\n", "x",
         "\"units\" is not stated"},
    };
    const auto shippedSource =
        std::get<CatalogSource>(readCatalogSource(OSTRIVANE_SHIPPED_CATALOG));
    for (const auto& c : cases) {
        auto parsed = parseCatalog({shippedSource, {"local.toml", c.dropIn}});
        ASSERT_TRUE(std::holds_alternative<Catalog>(parsed)) << c.dropIn;
        const auto& catalog = std::get<Catalog>(parsed);
        auto lists = c.id ? std::vector{catalog.findId(c.id)}
                          : catalog.defaultSet({ListKind::IPv4, ListKind::IPv6, ListKind::Domains});
        for (const auto* list : lists) {
            std::string problems;
            for (const auto& problem : reviewProblems(*list)) {
                problems += problem + "; ";
            }
            EXPECT_EQ(problems.empty(), !*c.problem) << list->id << ": " << problems;
            EXPECT_NE(problems.find(c.problem), std::string::npos) << list->id << ": " << problems;
        }
    }
}

// What the operators say of coverage, units, test points, access and removal.
TEST(ShippedCatalog, FactsAsTheOperatorsGiveThem) {
    const Catalog catalog = shipped();
    struct Case {
        const char* id;
        std::vector<ListKind> kinds;
        std::optional<int> ipv6Unit;
        std::vector<std::string> ipv6Points;
        AccessNeed need;
        const char* refusedNetwork;  // "": it refuses no network
        RemovalWay firstWay;
        std::optional<int> hours;
    } cases[] = {
        {"spamcop", {ListKind::IPv4}, {}, {}, AccessNeed::Nothing, "", RemovalWay::Expires, 48},
        {"spamhaus-zen",
         {ListKind::IPv4, ListKind::IPv6},
         64,
         {"::ffff:7f00:2"},
         AccessNeed::Nothing,
         "Hetzner (2025)",
         RemovalWay::Form,
         {}},
        {"spamhaus-xbl",
         {ListKind::IPv4, ListKind::IPv6},
         128,
         {"::ffff:7f00:2"},
         AccessNeed::Nothing,
         "public resolvers",
         RemovalWay::Form,
         {}},
        {"abusix",
         {ListKind::IPv4, ListKind::IPv6},
         128,
         {"::ffff:7f00:2", "::ffff:7f00:3", "::ffff:7f00:4"},
         AccessNeed::Key,
         "",
         RemovalWay::Expires,
         120},
        {"barracuda",
         {ListKind::IPv4},
         {},
         {},
         AccessNeed::Registration,
         "public resolvers",
         RemovalWay::Form,
         24},
        {"s5h",
         {ListKind::IPv4, ListKind::IPv6},
         128,
         {"::ffff:7f00:2"},
         AccessNeed::Nothing,
         "",
         RemovalWay::Request,
         {}},
    };
    for (const auto& c : cases) {
        const auto* list = catalog.findId(c.id);
        ASSERT_NE(list, nullptr) << c.id;
        SCOPED_TRACE(c.id);
        EXPECT_EQ(list->kinds, c.kinds);
        EXPECT_EQ(list->unitOf(ListKind::IPv4), 32);
        EXPECT_EQ(list->unitOf(ListKind::IPv6), c.ipv6Unit);
        EXPECT_EQ(list->listedTestPoints(ListKind::IPv6), c.ipv6Points);
        EXPECT_EQ(accessNeedText(list->access.need), accessNeedText(c.need));
        const auto& networks = list->access.refusedNetworks;
        EXPECT_EQ(std::count(networks.begin(), networks.end(), c.refusedNetwork),
                  *c.refusedNetwork ? 1 : 0);
        ASSERT_FALSE(list->removalFacts.ways.empty());
        EXPECT_EQ(removalWayText(list->removalFacts.ways[0]), removalWayText(c.firstWay));
        EXPECT_EQ(list->removalFacts.expectedHours, c.hours);
    }
    EXPECT_EQ(catalog.findId("abusix")->listedTestPoints(ListKind::IPv4).back(), "127.0.0.200");
    const auto* hostkarma = catalog.findId("hostkarma");
    EXPECT_EQ(hostkarma->answerByDesign("127.0.0.1"), 0x7f000001u);
    EXPECT_EQ(hostkarma->answerByDesign("127.0.0.2"), std::nullopt);
    const auto* zen = catalog.findId("spamhaus-zen");
    EXPECT_EQ(decodeAnswer(zen, {127, 0, 0, 2}).removalStep, 1);
    EXPECT_EQ(decodeAnswer(zen, {127, 0, 0, 3}).removalStep, 2);
    EXPECT_EQ(decodeAnswer(zen, {127, 0, 0, 11}).removalStep, 3);
}

struct DecodeCase {
    const char* list;  // id, or "" for a zone the catalog does not know
    std::array<std::uint8_t, 4> answer;
    AnswerClass answerClass;
    const char* meaningPart;  // "" : no meaning
    bool refusal;
    const char* reputation = "";  // "" : none
};

TEST(DecodeAnswer, GivesMeaningAndClassByListWithPlainRulesForUnknownCodes) {
    const Catalog catalog = shipped();
    const DecodeCase cases[] = {
        {"spamhaus-zen", {127, 0, 0, 10}, AnswerClass::PolicyListing, "PBL", false},
        {"spamhaus-zen", {127, 0, 0, 11}, AnswerClass::PolicyListing, "PBL set by Spamhaus", false},
        {"spamhaus-zen", {127, 0, 0, 2}, AnswerClass::Listing, "SBL", false},
        {"spamhaus-zen", {127, 0, 0, 6}, AnswerClass::Listing, "XBL", false},
        {"spamhaus-zen",
         {127, 255, 255, 254},
         AnswerClass::ListError,
         "public or open resolver",
         true},
        {"spamhaus-zen", {127, 255, 255, 255}, AnswerClass::ListError, "too many queries", false},
        {"spamhaus-zen", {127, 0, 0, 8}, AnswerClass::Listing, "", false},
        {"spamhaus-zen", {10, 0, 0, 1}, AnswerClass::ListError, "", false},
        {"spamhaus-dbl", {127, 0, 1, 255}, AnswerClass::ListError, "an address was asked", false},
        {"surbl",
         {127, 0, 0, 24},
         AnswerClass::Listing,
         "phishing domain; SURBL: a malware",
         false},
        {"uribl", {127, 0, 0, 1}, AnswerClass::ListError, "refused", true},
        {"uribl", {127, 0, 0, 4}, AnswerClass::PolicyListing, "grey", false},
        {"uribl", {127, 0, 0, 6}, AnswerClass::Listing, "black", false},
        {"", {127, 0, 0, 2}, AnswerClass::Listing, "", false},
        {"", {127, 255, 255, 1}, AnswerClass::ListError, "", false},
        {"", {192, 0, 2, 1}, AnswerClass::ListError, "", false},
        {"spamhaus-zen", {127, 0, 0, 30}, AnswerClass::Listing, "BCL", false},
        {"spamhaus-sbl-xbl", {127, 0, 0, 30}, AnswerClass::Listing, "BCL", false},
        {"abusix", {127, 0, 0, 200}, AnswerClass::Listing, "by hand", false},
        {"mailspike", {127, 0, 0, 12}, AnswerClass::Listing, "bad reputation", false},
        {"mailspike", {127, 0, 0, 14}, AnswerClass::Listing, "", false},
        {"mailspike-rep", {127, 0, 0, 12}, AnswerClass::Listing, "bad", false},
        {"mailspike-rep", {127, 0, 0, 13}, AnswerClass::Reputation, "neutral", false, "neutral"},
        {"mailspike-rep", {127, 0, 0, 17}, AnswerClass::Reputation, "possibly good", false, "good"},
        {"mailspike-rep", {127, 0, 0, 18}, AnswerClass::Reputation, "good", false, "good"},
        {"hostkarma", {127, 0, 0, 1}, AnswerClass::Reputation, "white", false, "good"},
        {"hostkarma", {127, 0, 0, 2}, AnswerClass::Listing, "black", false},
        {"hostkarma", {127, 0, 0, 4}, AnswerClass::Reputation, "brown", false, "poor"},
        {"hostkarma", {127, 0, 1, 1}, AnswerClass::Reputation, "nobl", false, "neutral"},
    };
    for (const auto& c : cases) {
        const auto* list = *c.list ? catalog.findId(c.list) : nullptr;
        ASSERT_TRUE(list != nullptr || !*c.list) << c.list;
        const auto decoded = decodeAnswer(list, c.answer);
        SCOPED_TRACE(std::string(c.list) + " " + std::to_string(c.answer[3]));
        EXPECT_EQ(answerClassText(decoded.answerClass), answerClassText(c.answerClass));
        EXPECT_EQ(decoded.refusal, c.refusal);
        EXPECT_EQ(decoded.reputation ? reputationText(*decoded.reputation) : "", c.reputation);
        if (*c.meaningPart) {
            EXPECT_NE(decoded.meaning.find(c.meaningPart), std::string::npos) << decoded.meaning;
        } else {
            EXPECT_EQ(decoded.meaning, "");
        }
    }
}

TEST(ParseAnswerCode, TakesOnlyPlainDottedQuads) {
    EXPECT_EQ(parseAnswerCode("127.0.0.2"), 0x7f000002u);
    EXPECT_EQ(parseAnswerCode("127.255.255.254"), 0x7ffffffeu);
    for (const char* bad : {"", "127.0.0", "127.0.0.256", "127.0.0.02", "127.0.0.2.", " 127.0.0.2",
                            "127.0.0.-1", "1270.0.0.2", "::1"}) {
        EXPECT_EQ(parseAnswerCode(bad), std::nullopt) << bad;
    }
}

TEST(CatalogFind, ByIdOrZoneIgnoringCaseAndFinalDotAndByKeyZone) {
    const Catalog catalog = shipped();
    for (const char* name :
         {"spamhaus-zen", "zen.spamhaus.org", "ZEN.Spamhaus.org.", "zen.dq.spamhaus.net"}) {
        const auto* list = catalog.find(name);
        ASSERT_NE(list, nullptr) << name;
        EXPECT_EQ(list->id, "spamhaus-zen") << name;
    }
    EXPECT_EQ(catalog.find("bl.example.org"), nullptr);
}

struct ProblemCase {
    const char* dropIn;
    int line;
    const char* problemPart;
};

// A drop-in with a fault names its own file and the line of the fault.
TEST(CatalogFile, ProblemsNameTheFileAndLine) {
    const ProblemCase cases[] = {
        {"[[list]]\nid = \"x\"\nkinds = [\"ipv4\"]\n", 1, "has no \"zone\""},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv4\"]\ndefualt = true\n", 5,
         "unknown field \"defualt\""},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv5\"]\n", 4, "\"ipv5\""},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv4\"]\nanswer = [\n"
         "  { code = \"127.0.0.2\", class = \"listing\", meaning = \"a\" },\n"
         "  { code = \"128.0.0.2\", class = \"listing\", meaning = \"b\" },\n]\n",
         7, "128.0.0.2"},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv4\"]\nanswer = [\n"
         "  { code = \"127.0.0.2\", class = \"listed\", meaning = \"a\" },\n]\n",
         6, "\"listed\""},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv4\"]\nneeds_key = true\n"
         "key_zone = \"x.example\"\n",
         6, "{key}"},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv4\"]\ntest_listed = "
         "[\"test\"]\n",
         5, "(domains)"},
        {"[[list]]\nid = \"spamcop\"\nstatus = \"gone\"\n", 3, "\"gone\""},
        {"[[list]]\nid = \"x\"\nzone = \"x y\"\nkinds = [\"ipv4\"]\n", 3, "not a DNS name"},
        {"\n\n[[list]\nid = 1\n", 3, ""},
        {"[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv4\"]\n\n[[list]]\nid = \"x\"\n",
         6, "(the first is at line 1)"},
        {"[[list]]\nid = \"spamcop\"\nanswer = [{ code = \"127.0.0.2\", class = \"reputation\", "
         "meaning = \"m\" }]\n",
         3, "needs \"reputation\""},
        {"[[list]]\nid = \"spamcop\"\nanswer = [{ code = \"127.0.0.2\", class = \"listing\", "
         "reputation = \"good\", meaning = \"m\" }]\n",
         3, "only a reputation answer"},
        {"[[list]]\nid = \"spamcop\"\nunits = { ipv6 = 64 }\n", 3, "does not list"},
        {"[[list]]\nid = \"spamcop\"\nremoval_how = [\"waiting\"]\n", 3, "\"waiting\""},
        {"[[list]]\nid = \"spamcop\"\nsources = [{ fields = [\"zone\"], url = \"u\", reviewed = "
         "\"soon\" }]\n",
         3, "\"reviewed\" must be a date"},
        {"[[list]]\nid = \"spamcop\"\nsources = [{ fields = [\"id\"], url = \"u\", reviewed = "
         "\"2026-12-08\" }]\n",
         3, "names \"id\""},
    };
    const auto shippedSource =
        std::get<CatalogSource>(readCatalogSource(OSTRIVANE_SHIPPED_CATALOG));
    for (const auto& c : cases) {
        auto parsed =
            parseCatalog({shippedSource, {"/etc/ostrivane/lists.d/local.toml", c.dropIn}});
        ASSERT_TRUE(std::holds_alternative<CatalogProblem>(parsed)) << c.dropIn;
        const auto& problem = std::get<CatalogProblem>(parsed);
        EXPECT_EQ(problem.file, "/etc/ostrivane/lists.d/local.toml") << c.dropIn;
        EXPECT_EQ(problem.line, c.line) << problem.message();
        EXPECT_NE(problem.message().find(c.problemPart), std::string::npos) << problem.message();
        EXPECT_EQ(
            problem.message().rfind(
                "/etc/ostrivane/lists.d/local.toml: line " + std::to_string(c.line) + ": ", 0),
            0u);
    }
}

TEST(CatalogFile, ADropInOverridesTheFieldsItSetsAndAddsNewLists) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir / "lists.d");
    testing::writeBytes(dir / "lists.d" / "20-local.toml",
                        "[[list]]\nid = \"spamcop\"\nstatus = \"dead\"\ndefault = false\n"
                        "[[list]]\nid = \"local\"\nzone = \"bl.example.net\"\nkinds = [\"ipv4\"]\n"
                        "default = true\nanswer = [{ code = \"127.0.0.5\", class = \"listing\", "
                        "meaning = \"ours\" }]\n");
    testing::writeBytes(dir / "lists.d" / "10-first.toml",
                        "[[list]]\nid = \"spamcop\"\nname = \"SC\"\n");
    testing::writeBytes(dir / "lists.d" / "README", "not a catalog file");
    auto loaded = loadCatalog(OSTRIVANE_SHIPPED_CATALOG, dir / "lists.d");
    ASSERT_TRUE(std::holds_alternative<Catalog>(loaded))
        << std::get<CatalogProblem>(loaded).message();
    const auto& catalog = std::get<Catalog>(loaded);
    const auto* spamcop = catalog.findId("spamcop");
    ASSERT_NE(spamcop, nullptr);
    EXPECT_EQ(spamcop->status, ListStatus::Dead);
    EXPECT_EQ(spamcop->name, "SC");
    EXPECT_EQ(spamcop->zone, "bl.spamcop.net");  // kept from the shipped entry
    const auto defaults = catalog.defaultSet({ListKind::IPv4});
    EXPECT_EQ(std::count(defaults.begin(), defaults.end(), spamcop), 0);
    const auto* local = catalog.findZone("bl.example.net");
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(std::count(defaults.begin(), defaults.end(), local), 1);
    EXPECT_EQ(decodeAnswer(local, {127, 0, 0, 5}).meaning, "ours");
}

// Loading is linear in the lists: fifty thousand of them in one file load
// (in well under two seconds: an id is found through an index, not a scan).
TEST(CatalogFile, FiftyThousandListsLoad) {
    std::string text = "reviewed = \"2026-12-08\"\n";
    for (int i = 0; i < 50000; ++i) {
        const auto id = "l" + std::to_string(i);
        text +=
            "[[list]]\nid = \"" + id + "\"\nzone = \"" + id + ".example\"\nkinds = [\"ipv4\"]\n";
    }
    auto parsed = parseCatalog({{"big.toml", text}});
    ASSERT_TRUE(std::holds_alternative<Catalog>(parsed))
        << std::get<CatalogProblem>(parsed).message();
    EXPECT_EQ(std::get<Catalog>(parsed).lists().size(), 50000u);
    EXPECT_EQ(std::get<Catalog>(parsed).findId("l49999")->zone, "l49999.example");
}

// A program copied on its own falls back on the catalog built into it; a
// catalog file that is there but cannot be read is a fault, never skipped.
TEST(CatalogFile, AMissingCatalogIsTheBuiltInOneAndAnUnreadableOneAProblem) {
    auto builtIn = loadCatalog("/nonexistent/catalog.toml", "/nonexistent/lists.d");
    ASSERT_TRUE(std::holds_alternative<Catalog>(builtIn))
        << std::get<CatalogProblem>(builtIn).message();
    EXPECT_EQ(std::get<Catalog>(builtIn).lists().size(), shipped().lists().size());
    testing::TempDir dir;
    std::filesystem::create_directories(dir / "catalog.toml");
    auto loaded = loadCatalog(dir / "catalog.toml", "/nonexistent/lists.d");
    ASSERT_TRUE(std::holds_alternative<CatalogProblem>(loaded));
    EXPECT_EQ(std::get<CatalogProblem>(loaded).file, (dir / "catalog.toml").string());
    auto noDate = parseCatalog(
        {{"c.toml", "[[list]]\nid = \"x\"\nzone = \"x.example\"\nkinds = [\"ipv4\"]\n"}});
    ASSERT_TRUE(std::holds_alternative<CatalogProblem>(noDate));
    EXPECT_NE(std::get<CatalogProblem>(noDate).problem.find("reviewed"), std::string::npos);
}

// With a key, the list is asked through the key's zone, and every zone that
// is shown leaves the key out.
TEST(KeyZone, AsksThroughTheTemplateAndNeverShowsTheKey) {
    const Catalog catalog = shipped();
    const ProviderKeys keys{{"spamhaus", "s3cr3tkey"}};
    struct Case {
        const char* id;
        const char* asked;
        const char* shown;
    } cases[] = {
        {"spamhaus-zen", "s3cr3tkey.zen.dq.spamhaus.net", "zen.dq.spamhaus.net"},
        {"spamhaus-dbl", "s3cr3tkey.dbl.dq.spamhaus.net", "dbl.dq.spamhaus.net"},
        {"spamcop", "bl.spamcop.net", "bl.spamcop.net"},
        {"abusix", "combined.mail.abusix.zone", "combined.mail.abusix.zone"},
    };
    for (const auto& c : cases) {
        const auto zone = zoneFor(*catalog.findId(c.id), keys);
        EXPECT_EQ(zone.asked, c.asked);
        EXPECT_EQ(zone.shown, c.shown);
        EXPECT_EQ(zone.shown.find("s3cr3tkey"), std::string::npos);
    }
    EXPECT_EQ(printableKeyZone("bl.example.{key}"), "bl.example");
    EXPECT_EQ(printableKeyZone("{key}"), "");
    EXPECT_EQ(redactKeys("s3cr3tkey.zen.dq.spamhaus.net: s3cr3tkey", keys),
              "KEY.zen.dq.spamhaus.net: KEY");
}

TEST(KeyZone, VariableNamesAndValidKeys) {
    EXPECT_EQ(keyVariableName("spamhaus"), "OSTRIVANE_KEY_SPAMHAUS");
    EXPECT_EQ(keyVariableName("my-list.org"), "OSTRIVANE_KEY_MY_LIST_ORG");
    for (const char* good : {"a", "abcdefghijklmnopqrstuvwxyz0123456789", "AB-12"}) {
        EXPECT_TRUE(isValidKey(good)) << good;
    }
    for (const char* bad : {"", "a.b", "a b", "k\n", "ä", "{key}",
                            "0123456789012345678901234567890123456789012345678901234567890123"}) {
        EXPECT_FALSE(isValidKey(bad)) << bad;
    }
}

}  // namespace
}  // namespace ostrivane
