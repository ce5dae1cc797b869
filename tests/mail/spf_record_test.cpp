#include "mail/spf_record.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

TEST(SpfRecord, KnowsTheVersionTag) {
    const std::pair<std::string, bool> cases[] = {
        {"v=spf1", true},
        {"v=spf1 -all", true},
        {"V=SPF1 mx", true},
        {"v=spf10 -all", false},
        {"v=spf1-all", false},
        {"spf2.0/pra mx", false},
        {"google-site-verification=x", false},
        {"", false},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(isSpfRecord(text), expected) << text;
    }
}

// One term of a record: what it reads as. The error column, when set, is a
// fragment of the reason and the record must not read.
struct TermCase {
    std::string term;
    SpfKind kind;
    char qualifier;
    std::string domain;
    int prefix4;
    int prefix6;
    std::string address;  // ip4 and ip6
    bool macro;
    std::string error;
};

const TermCase kTerms[] = {
    {"ip4:192.0.2.0/28", SpfKind::Ip4, '+', "", 28, 128, "192.0.2.0", false, ""},
    {"ip4:192.0.2.7", SpfKind::Ip4, '+', "", 32, 128, "192.0.2.7", false, ""},
    {"-ip6:2001:db8::/126", SpfKind::Ip6, '-', "", 32, 126, "2001:db8::", false, ""},
    {"a", SpfKind::A, '+', "", 32, 128, "", false, ""},
    {"a/24", SpfKind::A, '+', "", 24, 128, "", false, ""},
    {"a//64", SpfKind::A, '+', "", 32, 64, "", false, ""},
    {"A:Host.Example.ORG/28//120", SpfKind::A, '+', "host.example.org", 28, 120, "", false, ""},
    {"~mx:mail.example.org", SpfKind::Mx, '~', "mail.example.org", 32, 128, "", false, ""},
    {"mx/30", SpfKind::Mx, '+', "", 30, 128, "", false, ""},
    {"?include:_spf.example.net", SpfKind::Include, '?', "_spf.example.net", 32, 128, "", false,
     ""},
    {"ptr", SpfKind::Ptr, '+', "", 32, 128, "", false, ""},
    {"ptr:example.org", SpfKind::Ptr, '+', "example.org", 32, 128, "", false, ""},
    {"exists:%{i}._spf.example.org", SpfKind::Exists, '+', "%{i}._spf.example.org", 32, 128, "",
     true, ""},
    {"a:%{d}.example.org/24", SpfKind::A, '+', "%{d}.example.org", 24, 128, "", true, ""},
    {"redirect=_spf.example.org", SpfKind::Redirect, '+', "_spf.example.org", 32, 128, "", false,
     ""},
    // Not valid: the record is a permerror.
    {"ip4:192.0.2.0/33", SpfKind::Ip4, '+', "", 0, 0, "", false, "not a valid term"},
    {"ip4:2001:db8::1", SpfKind::Ip4, '+', "", 0, 0, "", false, "not a valid term"},
    {"ip6:192.0.2.1", SpfKind::Ip6, '+', "", 0, 0, "", false, "not a valid term"},
    {"ip4", SpfKind::Ip4, '+', "", 0, 0, "", false, "not a valid term"},
    {"a/", SpfKind::A, '+', "", 0, 0, "", false, "not a valid term"},
    {"a//129", SpfKind::A, '+', "", 0, 0, "", false, "not a valid term"},
    {"include", SpfKind::Include, '+', "", 0, 0, "", false, "not a valid term"},
    {"include:", SpfKind::Include, '+', "", 0, 0, "", false, "not a valid term"},
    {"ptr/24", SpfKind::Ptr, '+', "", 0, 0, "", false, "not a valid term"},
    {"all:x", SpfKind::All, '+', "", 0, 0, "", false, "not a valid term"},
    {"mailto:x", SpfKind::All, '+', "", 0, 0, "", false, "not a valid term"},
    {"+", SpfKind::All, '+', "", 0, 0, "", false, "not a valid term"},
    {"redirect=", SpfKind::Redirect, '+', "", 0, 0, "", false, "names no domain"},
    {"1bad=x", SpfKind::Redirect, '+', "", 0, 0, "", false, "not a valid term"},
};

TEST(SpfRecord, ReadsEachTerm) {
    for (const auto& c : kTerms) {
        SCOPED_TRACE(c.term);
        const auto parsed = parseSpfRecord("v=spf1 " + c.term + " -all");
        if (!c.error.empty()) {
            ASSERT_TRUE(std::holds_alternative<SpfSyntaxError>(parsed));
            EXPECT_NE(std::get<SpfSyntaxError>(parsed).reason.find(c.error), std::string::npos)
                << std::get<SpfSyntaxError>(parsed).reason;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<SpfRecord>(parsed))
            << std::get<SpfSyntaxError>(parsed).reason;
        const auto& record = std::get<SpfRecord>(parsed);
        const bool redirect = c.kind == SpfKind::Redirect;
        ASSERT_EQ(record.mechanisms.size(), redirect ? 1U : 2U);
        const auto& term = redirect ? record.redirect.at(0) : record.mechanisms.front();
        EXPECT_EQ(term.text, c.term);
        EXPECT_EQ(term.kind, c.kind);
        EXPECT_EQ(term.qualifier, c.qualifier);
        EXPECT_EQ(term.domain, c.domain);
        EXPECT_EQ(term.prefix4, c.prefix4);
        EXPECT_EQ(term.prefix6, c.prefix6);
        EXPECT_EQ(term.macro, c.macro);
        if (!c.address.empty()) {
            EXPECT_EQ(formatIpAddress(term.address), c.address);
        }
    }
}

TEST(SpfRecord, PassesOverUnknownModifiersAndRefusesASecondRedirect) {
    const auto parsed = parseSpfRecord("v=spf1  mx exp=explain.%{d} x-custom=1  ip4:192.0.2.1 ");
    ASSERT_TRUE(std::holds_alternative<SpfRecord>(parsed));
    EXPECT_EQ(std::get<SpfRecord>(parsed).mechanisms.size(), 2U);
    EXPECT_TRUE(std::get<SpfRecord>(parsed).redirect.empty());

    const auto twice = parseSpfRecord("v=spf1 redirect=a.example redirect=b.example");
    ASSERT_TRUE(std::holds_alternative<SpfSyntaxError>(twice));
    EXPECT_NE(std::get<SpfSyntaxError>(twice).reason.find("more than one redirect"),
              std::string::npos);
}

}  // namespace
}  // namespace ostrivane
