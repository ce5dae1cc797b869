#include "check/mail_targets.h"

#include <gtest/gtest.h>

#include <sstream>

#include "formats/check_output.h"
#include "mail/fake_dns.h"
#include "support/check_runs.h"

namespace ostrivane {
namespace {

using T = DnsType;

const std::vector<FakeRecord> kWorld = {
    {"example.org", T::MX, {"10 mx1.example.org"}},
    {"example.org", T::TXT, {"v=spf1 mx ip4:192.0.2.24/31 ptr -all"}},
    {"mx1.example.org", T::A, {"192.0.2.25"}},
    {"other.example", T::MX, {"10 mx1.example.org"}},
    {"loop.example", T::TXT, {"v=spf1 include:loop.example"}},
};

std::vector<Target> targetsOf(std::initializer_list<const char*> texts) {
    std::vector<Target> targets;
    for (const auto* text : texts) {
        targets.push_back(std::get<Target>(parseTarget(text)));
    }
    return targets;
}

TEST(MailTargets, JoinTheRunsAddressesWithEveryWayAndKeepNamesAndFindings) {
    FakeDns dns(kWorld);
    const auto targets =
        targetsOf({"192.0.2.25", "mail:example.org", "mail:other.example", "spf:loop.example"});
    auto expanded = std::get<ExpandedTargets>(expandTargets(targets, {}));
    const auto added = addMailSubjects(targets, dns.round(), {}, expanded.addresses);
    ASSERT_TRUE(std::holds_alternative<MailSubjects>(added));
    const auto& subjects = std::get<MailSubjects>(added);

    std::vector<std::string> addresses;
    for (const auto& address : expanded.addresses) {
        std::string line = address.target + " " + formatIpAddress(address.address) + ":";
        for (const auto& via : address.via) {
            line += " [" + via + "]";
        }
        addresses.push_back(line);
    }
    EXPECT_EQ(addresses, (std::vector<std::string>{
                             "192.0.2.25 192.0.2.25: [mx mx1.example.org] [spf mx mx1.example.org] "
                             "[spf ip4:192.0.2.24/31]",
                             "mail:example.org 192.0.2.24: [spf ip4:192.0.2.24/31]"}));

    std::vector<std::string> names;
    for (const auto& name : subjects.names) {
        names.push_back(name.target + " " + name.name + " " + std::to_string(name.via.size()));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"mail:example.org example.org 1",
                                               "mail:example.org mx1.example.org 1",
                                               "mail:other.example other.example 1"}));

    std::vector<std::string> findings;
    for (const auto& finding : subjects.findings) {
        findings.push_back(finding.target + " " + std::string(findingKindText(finding.kind)));
    }
    EXPECT_EQ(findings, (std::vector<std::string>{"mail:example.org note",    // ptr
                                                  "mail:other.example note",  // no SPF
                                                  "spf:loop.example permerror"}));
}

TEST(MailTargets, MoreAddressesThanARunTakesIsTheError) {
    // 17 blocks of 65,536 addresses: one more than the 1,048,576 of a run.
    std::string record = "v=spf1";
    for (int block = 0; block < 17; ++block) {
        record += " ip4:10." + std::to_string(block) + ".0.0/16";
    }
    FakeDns dns({{"wide.example", T::TXT, {record + " -all"}}});
    std::vector<CheckAddress> addresses;
    const auto added =
        addMailSubjects(targetsOf({"spf:wide.example"}), dns.round(), {16, 116}, addresses);
    ASSERT_TRUE(std::holds_alternative<TargetError>(added));
    EXPECT_EQ(std::get<TargetError>(added).text, "spf:wide.example");
}

TEST(MailTargets, EveryOutputShowsTheWayAndTheFindings) {
    CheckRun run;
    run.zones.resize(2);
    run.zones[0].zone = "bl.test";
    run.zones[1].zone = "dbl.test";
    run.zones[1].domainList = true;
    std::vector<CheckAddress> addresses = {
        {"mail:example.org", *parseIpAddress("192.0.2.25"), {"mx mx1.example.org", "spf mx"}}};
    run.results = {testing::result("192.0.2.25", "bl.test", CheckVerdict::Listed),
                   testing::result("example.org", "dbl.test", CheckVerdict::NotListed),
                   testing::result("mx1.example.org", "dbl.test", CheckVerdict::ListError)};
    for (auto& result : run.results) {
        result.target = "mail:example.org";
        result.reason.clear();
    }
    run.results[1].via = {"domain"};
    run.results[2].via = {"mx mx1.example.org"};
    run.results[2].answers = {"127.0.1.255"};
    run.results[2].meanings = {{"list-error", "an address was asked of a domain list"}};
    attachVia(addresses, run.results);
    run.findings = {{"mail:example.org", FindingKind::PermError, "SPF permerror: a loop"},
                    {"mail:example.org", FindingKind::Incomplete, "MX x: no answer in time"}};
    const auto printed = [&run](CheckFormat format) {
        CheckOptions options;
        options.format = format;
        std::ostringstream out;
        printCheckRun(run, options, format == CheckFormat::Nagios ? 1 : 0, out);
        return out.str();
    };
    const auto text = printed(CheckFormat::Text);
    EXPECT_NE(text.find("192.0.2.25 (mail:example.org) via mx mx1.example.org; spf mx\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("example.org (mail:example.org) via domain\n"), std::string::npos) << text;
    EXPECT_NE(text.find("mail:example.org: SPF permerror: a loop\n"), std::string::npos) << text;
    EXPECT_NE(text.find("mail:example.org: incomplete, MX x: no answer in time\n"),
              std::string::npos)
        << text;
    const auto json = printed(CheckFormat::Json);
    EXPECT_NE(json.find(R"("via": ["mx mx1.example.org", "spf mx"])"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("kind": "domains")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("kind": "permerror", "text": "SPF permerror: a loop")"),
              std::string::npos)
        << json;
    const auto nagios = printed(CheckFormat::Nagios);
    EXPECT_NE(nagios.find(" - 192.0.2.25 listed on bl.test; no verdict from dbl.test; incomplete "
                          "mail:example.org |"),
              std::string::npos)
        << nagios;
    EXPECT_NE(nagios.find("\n192.0.2.25 listed on bl.test (127.0.0.2) via mx mx1.example.org; "
                          "spf mx\n"),
              std::string::npos)
        << nagios;
    EXPECT_NE(nagios.find("\nno verdict from dbl.test: 127.0.1.255 list-error: an address was "
                          "asked of a domain list\n"),
              std::string::npos)
        << nagios;
}

}  // namespace
}  // namespace ostrivane
