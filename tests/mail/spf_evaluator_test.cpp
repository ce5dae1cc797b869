#include "mail/spf_evaluator.h"

#include <gtest/gtest.h>

#include "fake_dns.h"

namespace ostrivane {
namespace {

using T = DnsType;

std::vector<FakeRecord> spfWorld() {
    std::vector<FakeRecord> records = {
        {"example.org",
         T::TXT,
         {"v=spf1 ip4:192.0.2.0/28 ip6:2001:db8:1::/126 a:host.example.org "
          "include:_spf.example.net mx -all",
          "google-site-verification=abc"}},
        {"example.org", T::MX, {"20 mx2.example.org", "10 mx1.example.org"}},
        {"mx1.example.org", T::A, {"192.0.2.25"}},
        {"mx1.example.org", T::AAAA, {"2001:db8:2::25"}},
        {"mx2.example.org", T::A, {"192.0.2.26"}},
        {"host.example.org", T::A, {"198.51.100.7"}},
        {"_spf.example.net", T::TXT, {"v=spf1 ip4:198.51.100.0/30 ~all"}},
        {"loop-a.example", T::TXT, {"v=spf1 ip4:192.0.2.1 include:loop-b.example -all"}},
        {"loop-b.example", T::TXT, {"v=spf1 include:loop-a.example -all"}},
        {"void.example", T::TXT, {"v=spf1 a:none1.example mx:none2.example a:none3.example"}},
        {"wide.example",
         T::TXT,
         {"v=spf1 ip4:10.0.0.0/8 ip6:2001:db8::/64 ip4:192.0.2.0/20 ip6:2001:db8::/116 "
          "ip4:198.18.0.0/18"}},
        {"skip.example",
         T::TXT,
         {"v=spf1 ptr exists:%{i}._spf.example.org a:%{d}.example.org -ip4:192.0.2.1 "
          "?include:_spf.example.net ip4:192.0.2.2 -all"}},
        {"redirect.example", T::TXT, {"v=spf1 redirect=_spf.example.net"}},
        {"redirect-all.example", T::TXT, {"v=spf1 -all redirect=_spf.example.net"}},
        {"none.example", T::TXT, {"some other text"}},
        {"two.example", T::TXT, {"v=spf1 -all", "v=spf1 mx -all"}},
        {"timeout.example", T::TXT, {}, DnsOutcome::TimedOut},
        {"inc-timeout.example", T::TXT, {"v=spf1 include:slow.example ip4:192.0.2.9 -all"}},
        {"slow.example", T::TXT, {}, DnsOutcome::TimedOut},
        {"inc-none.example", T::TXT, {"v=spf1 include:nospf.example -all"}},
        {"nospf.example", T::A, {"192.0.2.50"}},
        {"bad.example", T::TXT, {"v=spf1 ip4:192.0.2.300 -all"}},
        {"mx11.example", T::TXT, {"v=spf1 mx -all"}},
        {"mx11.example",
         T::MX,
         {"1 a.example", "2 b.example", "3 c.example", "4 d.example", "5 e.example", "6 f.example",
          "7 g.example", "8 h.example", "9 i.example", "10 j.example", "11 k.example"}},
        {"a-cidr.example", T::TXT, {"v=spf1 a/30//126 -all"}},
        {"a-cidr.example", T::A, {"192.0.2.101"}},
        {"a-cidr.example", T::AAAA, {"2001:db8::101"}},
        {"deep.example", T::TXT, {"v=spf1 include:d1.example include:d2.example -all"}},
        {"d1.example", T::TXT, {"v=spf1 include:d3.example -all"}},
        {"d2.example", T::TXT, {"v=spf1 ip4:192.0.2.62 -all"}},
        {"d3.example", T::TXT, {"v=spf1 ip4:192.0.2.63 -all"}},
    };
    std::string eleven = "v=spf1 ip4:192.0.2.77";
    for (int n = 1; n <= 11; ++n) {
        eleven += " a:h" + std::to_string(n) + ".example";
        records.push_back(
            {"h" + std::to_string(n) + ".example", T::A, {"203.0.113." + std::to_string(n)}});
    }
    records.push_back({"eleven.example", T::TXT, {eleven + " -all"}});
    return records;
}

// A domain's expansion: every block with its via ("VIA = BLOCK"), fragments of
// the notes, of the permerror (empty: none) and of the unanswered lookups,
// and how many rounds of questions it took.
struct SpfCase {
    std::string domain;
    std::vector<std::string> blocks;
    std::vector<std::string> notes;
    std::string permerror;
    std::vector<std::string> unanswered;
    int rounds;
    bool hasRecord = true;
};

const SpfCase kSpfCases[] = {
    {"example.org",
     {"spf ip4:192.0.2.0/28 = 192.0.2.0/28", "spf ip6:2001:db8:1::/126 = 2001:db8:1::/126",
      "spf a:host.example.org = 198.51.100.7/32",
      "spf include:_spf.example.net ip4:198.51.100.0/30 = 198.51.100.0/30",
      "spf mx mx2.example.org = 192.0.2.26/32", "spf mx mx1.example.org = 192.0.2.25/32",
      "spf mx mx1.example.org = 2001:db8:2::25/128"},
     {},
     "",
     {},
     3},
    {"loop-a.example",
     {"spf ip4:192.0.2.1 = 192.0.2.1/32"},
     {},
     "an include loop: loop-a.example -> loop-b.example -> loop-a.example",
     {},
     2},
    {"void.example", {}, {}, "more than 2 void lookups (the last at spf a:none3.example)", {}, 2},
    {"wide.example",
     {"spf ip4:192.0.2.0/20 = 192.0.0.0/20", "spf ip6:2001:db8::/116 = 2001:db8::/116"},
     {"spf ip4:10.0.0.0/8: 10.0.0.0/8 not checked: 16,777,216 addresses, wider than the /20 limit",
      "spf ip6:2001:db8::/64: 2001:db8::/64 not checked: 2^64 addresses, wider than the /116 limit",
      "spf ip4:198.18.0.0/18: 198.18.0.0/18 not checked: 16,384 addresses"},
     "",
     {},
     1},
    {"skip.example",
     {"spf ip4:192.0.2.2 = 192.0.2.2/32"},
     {"spf ptr: not checked: it names no fixed addresses",
      "spf exists:%{i}._spf.example.org: not checked",
      "spf a:%{d}.example.org: not checked: a macro",
      "spf -ip4:192.0.2.1: not checked: its qualifier \"-\"",
      "spf ?include:_spf.example.net: not checked: its qualifier \"?\""},
     "",
     {},
     2},
    {"redirect.example",
     {"spf redirect=_spf.example.net ip4:198.51.100.0/30 = 198.51.100.0/30"},
     {},
     "",
     {},
     2},
    {"redirect-all.example", {}, {}, "", {}, 1},
    {"none.example", {}, {}, "", {}, 1, false},
    {"nowhere.example", {}, {}, "", {}, 1, false},
    {"two.example", {}, {}, "two.example publishes more than one SPF record", {}, 1, false},
    {"timeout.example", {}, {}, "", {"TXT timeout.example: no answer in time"}, 1, false},
    {"inc-timeout.example",
     {"spf ip4:192.0.2.9 = 192.0.2.9/32"},
     {},
     "",
     {"TXT slow.example: no answer in time"},
     2},
    {"inc-none.example",
     {},
     {},
     "spf include:nospf.example: nospf.example publishes no SPF record",
     {},
     2},
    {"bad.example",
     {},
     {},
     "the SPF record of bad.example is not valid: \"ip4:192.0.2.300\"",
     {},
     1,
     false},
    {"mx11.example", {}, {}, "spf mx: more than 10 MX hosts (11)", {}, 2},
    {"a-cidr.example",
     {"spf a/30//126 a-cidr.example = 192.0.2.100/30",
      "spf a/30//126 a-cidr.example = 2001:db8::100/126"},
     {},
     "",
     {},
     2},
    {"deep.example",
     {"spf include:d1.example include:d3.example ip4:192.0.2.63 = 192.0.2.63/32",
      "spf include:d2.example ip4:192.0.2.62 = 192.0.2.62/32"},
     {},
     "",
     {},
     3},
    // What came before the 11th lookup is kept; the 11th and after are not asked.
    {"eleven.example",
     {"spf ip4:192.0.2.77 = 192.0.2.77/32", "spf a:h1.example = 203.0.113.1/32",
      "spf a:h2.example = 203.0.113.2/32", "spf a:h3.example = 203.0.113.3/32",
      "spf a:h4.example = 203.0.113.4/32", "spf a:h5.example = 203.0.113.5/32",
      "spf a:h6.example = 203.0.113.6/32", "spf a:h7.example = 203.0.113.7/32",
      "spf a:h8.example = 203.0.113.8/32", "spf a:h9.example = 203.0.113.9/32",
      "spf a:h10.example = 203.0.113.10/32"},
     {},
     "more than 10 terms that cause DNS lookups (the 11th is spf a:h11.example)",
     {},
     2},
};

std::string blockText(const ReachedBlock& reached) {
    return reached.via + " = " + formatIpAddress(reached.first) + "/" +
           std::to_string(reached.prefix);
}

bool containsFragment(const std::vector<std::string>& texts, const std::string& fragment) {
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
        return text.find(fragment) != std::string::npos;
    });
}

TEST(SpfEvaluator, FindsEveryAuthorisedBlockAndNamesTheRest) {
    for (const auto& c : kSpfCases) {
        SCOPED_TRACE(c.domain);
        FakeDns dns(spfWorld());
        DnsAnswerBook book;
        SpfExpansion result;
        do {
            result = walkSpf(c.domain, book, SpfLimits{});
        } while (book.askWanted(dns.round()));

        std::vector<std::string> blocks;
        for (const auto& reached : result.blocks) {
            blocks.push_back(blockText(reached));
        }
        EXPECT_EQ(blocks, c.blocks);
        EXPECT_EQ(result.notes.size(), c.notes.size());
        for (const auto& note : c.notes) {
            EXPECT_TRUE(containsFragment(result.notes, note)) << note;
        }
        EXPECT_NE(result.permerror.find(c.permerror), std::string::npos) << result.permerror;
        EXPECT_EQ(result.permerror.empty(), c.permerror.empty()) << result.permerror;
        EXPECT_EQ(result.unanswered, c.unanswered);
        EXPECT_EQ(result.hasRecord, c.hasRecord);
        EXPECT_EQ(dns.rounds, c.rounds);
        for (const auto& [question, times] : dns.asked) {
            EXPECT_EQ(times, 1) << question.name << " asked more than once";
        }
        EXPECT_EQ(dns.asked.count({"h11.example", T::A}), 0U) << "the 11th lookup was asked";
    }
}

TEST(SpfEvaluator, ARaisedLimitExpandsWiderBlocks) {
    FakeDns dns(spfWorld());
    DnsAnswerBook book;
    SpfExpansion result;
    do {
        result = walkSpf("wide.example", book, SpfLimits{16, 112});
    } while (book.askWanted(dns.round()));
    EXPECT_EQ(result.blocks.size(), 3U);  // the /18 too
    EXPECT_EQ(result.notes.size(), 2U);   // the /8 and the /64 stay too wide
}

TEST(SpfEvaluator, SaysTheSizeOfABlock) {
    const std::pair<std::string, std::string> cases[] = {
        {"192.0.2.1/32", "1 address"},
        {"192.0.2.0/31", "2 addresses"},
        {"10.0.0.0/8", "16,777,216 addresses"},
        {"0.0.0.0/0", "4,294,967,296 addresses"},
        {"2001:db8::/116", "4,096 addresses"},
        {"2001:db8::/65", "9,223,372,036,854,775,808 addresses"},
        {"2001:db8::/64", "2^64 addresses"},
        {"::/0", "2^128 addresses"},
    };
    for (const auto& [text, size] : cases) {
        const auto slash = text.find('/');
        EXPECT_EQ(blockSizeText(parseIpAddress(text.substr(0, slash))->family,
                                std::stoi(text.substr(slash + 1))),
                  size)
            << text;
    }
}

}  // namespace
}  // namespace ostrivane
