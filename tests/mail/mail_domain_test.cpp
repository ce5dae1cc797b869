#include "mail/mail_domain.h"

#include <gtest/gtest.h>

#include "fake_dns.h"
#include "mail/domain_list.h"

namespace ostrivane {
namespace {

using T = DnsType;

TEST(MailTarget, ReadsTheThreeKindsAndNothingElse) {
    const std::pair<std::string, std::string> cases[] = {
        {"mx:example.org", "mx:example.org"},
        {"SPF:Example.ORG.", "spf:example.org"},
        {"mail:_dmarc-x.example.org", "mail:_dmarc-x.example.org"},
        {"mail:", ""},
        {"mail:-bad.example", ""},
        {"mail:exa mple.org", ""},
        {"mail:192.0.2.1", ""},
        {"mx:a..example", ""},
        {"dkim:example.org", ""},
        {"example.org", ""},
    };
    for (const auto& [text, expected] : cases) {
        const auto target = parseMailTarget(text);
        EXPECT_EQ(target ? mailTargetText(*target) : "", expected) << text;
    }
}

TEST(DomainList, AsksTheDomainInFrontOfTheZoneAndKnowsItsTestPoints) {
    EXPECT_EQ(domainListQueryName("Example.ORG.", "dbl.test"), "example.org.dbl.test");
    EXPECT_EQ(domainListQueryName("mx1.example.org", "DBL.Test."), "mx1.example.org.dbl.test");
    EXPECT_EQ(domainListTestPoints("dbl.test").listed, "test.dbl.test");
    EXPECT_EQ(domainListTestPoints("dbl.test").unlisted, "invalid.dbl.test");
}

std::vector<FakeRecord> mailWorld() {
    return {
        {"example.org", T::MX, {"10 mx1.example.org", "20 mx2.example.org"}},
        {"example.org", T::TXT, {"v=spf1 mx ip4:192.0.2.24/30 -all"}},
        {"mx1.example.org", T::A, {"192.0.2.25"}},
        {"mx1.example.org", T::AAAA, {"2001:db8::25"}},
        {"mx2.example.org", T::A, {"192.0.2.26"}},
        {"nomx.example", T::TXT, {"v=spf1 ip4:192.0.2.40 -all"}},
        {"nullmx.example", T::MX, {"0 "}},
        {"deadhost.example", T::MX, {"10 gone.example"}},
        {"slowmx.example", T::MX, {}, DnsOutcome::TimedOut},
        {"slowmx.example", T::TXT, {"v=spf1 ip4:192.0.2.41 -all"}},
    };
}

// A target's expansion: its addresses with every via, its domain-list names,
// fragments of its notes and its unanswered lookups.
struct MailCase {
    std::string target;
    std::vector<std::string> addresses;  // "ADDRESS: VIA | VIA"
    std::vector<std::string> names;      // "NAME: VIA"
    std::vector<std::string> notes;
    std::vector<std::string> unanswered;
};

const MailCase kMailCases[] = {
    {"mail:example.org",
     {"192.0.2.25: mx mx1.example.org | spf mx mx1.example.org | spf ip4:192.0.2.24/30",
      "2001:db8::25: mx mx1.example.org | spf mx mx1.example.org",
      "192.0.2.26: mx mx2.example.org | spf mx mx2.example.org | spf ip4:192.0.2.24/30",
      "192.0.2.24: spf ip4:192.0.2.24/30", "192.0.2.27: spf ip4:192.0.2.24/30"},
     {"example.org: domain", "mx1.example.org: mx mx1.example.org",
      "mx2.example.org: mx mx2.example.org"},
     {},
     {}},
    {"mx:example.org",
     {"192.0.2.25: mx mx1.example.org", "2001:db8::25: mx mx1.example.org",
      "192.0.2.26: mx mx2.example.org"},
     {},
     {},
     {}},
    {"mail:nomx.example",
     {"192.0.2.40: spf ip4:192.0.2.40"},
     {"nomx.example: domain"},
     {"nomx.example has no MX record"},
     {}},
    {"mail:nullmx.example",
     {},
     {"nullmx.example: domain"},
     {"nullmx.example accepts no mail (null MX)", "nullmx.example publishes no SPF record"},
     {}},
    {"mx:deadhost.example", {}, {}, {"MX host gone.example has no address"}, {}},
    {"mail:slowmx.example",
     {"192.0.2.41: spf ip4:192.0.2.41"},
     {"slowmx.example: domain"},
     {},
     {"MX slowmx.example: no answer in time"}},
};

TEST(MailDomain, ReachesEveryAddressOnceWithEachWay) {
    for (const auto& c : kMailCases) {
        SCOPED_TRACE(c.target);
        FakeDns dns(mailWorld());
        const auto expansions = expandMailTargets({*parseMailTarget(c.target)}, dns.round(), {});
        ASSERT_EQ(expansions.size(), 1U);
        const auto& expansion = expansions.front();
        const auto addresses = reachedAddresses(expansion.blocks, 100);
        ASSERT_TRUE(addresses.has_value());
        std::vector<std::string> seen;
        for (const auto& reached : *addresses) {
            std::string line = formatIpAddress(reached.address) + ":";
            for (std::size_t i = 0; i < reached.via.size(); ++i) {
                line += (i == 0 ? " " : " | ") + reached.via[i];
            }
            seen.push_back(line);
        }
        EXPECT_EQ(seen, c.addresses);
        std::vector<std::string> names;
        for (const auto& name : expansion.names) {
            names.push_back(name.name + ": " + name.via);
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(expansion.notes, c.notes);
        EXPECT_EQ(expansion.unanswered, c.unanswered);
    }
}

TEST(MailDomain, AsksEveryTargetsQuestionsInTheSameRounds) {
    FakeDns dns(mailWorld());
    std::vector<MailTarget> targets;
    for (const auto& c : kMailCases) {
        targets.push_back(*parseMailTarget(c.target));
    }
    const auto expansions = expandMailTargets(targets, dns.round(), {});
    EXPECT_EQ(expansions.size(), targets.size());
    EXPECT_EQ(dns.rounds, 2);  // MX and TXT of every domain, then the MX hosts' addresses
    for (const auto& [question, times] : dns.asked) {
        EXPECT_EQ(times, 1) << question.name << " " << dnsTypeText(question.type);
    }
}

TEST(MailDomain, GivesUpAfterTheLastRoundAsIncomplete) {
    FakeDns dns(mailWorld());
    const auto expansions =
        expandMailTargets({*parseMailTarget("mail:example.org")}, dns.round(), {}, 1);
    ASSERT_EQ(expansions.size(), 1U);
    EXPECT_EQ(expansions.front().unanswered,
              std::vector<std::string>{"lookups still open after 1 rounds"});
}

TEST(MailDomain, RefusesMoreAddressesThanARunTakes) {
    const std::vector<ReachedBlock> blocks = {
        {*parseIpAddress("192.0.2.0"), 24, "spf ip4:192.0.2.0/24"},
        {*parseIpAddress("192.0.2.128"), 25, "spf ip4:192.0.2.128/25"},
    };
    EXPECT_EQ(reachedAddresses(blocks, 256)->size(), 256U);
    EXPECT_EQ(reachedAddresses(blocks, 255), std::nullopt);
    EXPECT_EQ(reachedAddresses(blocks, 256)->back().via.size(), 2U);
}

}  // namespace
}  // namespace ostrivane
