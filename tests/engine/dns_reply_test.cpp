#include "engine/dns_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrivane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Outcome = DnsRecords::Outcome;

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

Bytes encodedName(const std::string& name) {
    Bytes out;
    std::size_t start = 0;
    while (start < name.size()) {
        const auto dot = name.find('.', start);
        const auto end = dot == std::string::npos ? name.size() : dot;
        out.push_back(static_cast<std::uint8_t>(end - start));
        out.insert(out.end(), name.begin() + static_cast<long>(start),
                   name.begin() + static_cast<long>(end));
        start = end + 1;
    }
    out.push_back(0);
    return out;
}

// One answer record. `owner` "@" points back at the question's name (offset
// 12), as servers compress it.
struct Rr {
    std::string owner;
    unsigned type;
    Bytes data;
};

Bytes message(int rcode, const std::string& question, const std::vector<Rr>& answers) {
    Bytes out;
    put16(out, 0x1234);
    put16(out, 0x8180U | static_cast<unsigned>(rcode));
    put16(out, 1);
    put16(out, static_cast<unsigned>(answers.size()));
    put16(out, 0);
    put16(out, 0);
    const auto name = encodedName(question);
    out.insert(out.end(), name.begin(), name.end());
    put16(out, 1);
    put16(out, 1);
    for (const auto& rr : answers) {
        const auto owner = rr.owner == "@" ? Bytes{0xC0, 12} : encodedName(rr.owner);
        out.insert(out.end(), owner.begin(), owner.end());
        put16(out, rr.type);
        put16(out, 1);
        put16(out, 0);
        put16(out, 60);
        put16(out, static_cast<unsigned>(rr.data.size()));
        out.insert(out.end(), rr.data.begin(), rr.data.end());
    }
    return out;
}

Rr a(const std::string& owner, std::uint8_t last) {
    return {owner, 1, {127, 0, 0, last}};
}
Rr cname(const std::string& owner, const std::string& target) {
    return {owner, 5, encodedName(target)};
}

const std::string kAsked = "2.0.0.127.bl.test";

struct ReplyCase {
    const char* what;
    Bytes reply;
    RecordType type;
    Outcome outcome;
    std::vector<std::string> records;  // as text: dotted, MX "pref host", TXT text
};

std::vector<std::string> texts(const DnsRecords& records) {
    std::vector<std::string> out;
    for (const auto& v4 : records.v4) {
        out.push_back(std::to_string(v4[0]) + "." + std::to_string(v4[1]) + "." +
                      std::to_string(v4[2]) + "." + std::to_string(v4[3]));
    }
    for (const auto& v6 : records.v6) {
        out.push_back("v6:" + std::to_string(v6[0]) + ":" + std::to_string(v6[15]));
    }
    for (const auto& mx : records.mx) {
        out.push_back(std::to_string(mx.preference) + " " + mx.host);
    }
    out.insert(out.end(), records.txt.begin(), records.txt.end());
    return out;
}

TEST(DnsReply, ReadsOnlyTheRecordsOfTheNameAsked) {
    Bytes aaaa(16, 0);
    aaaa[0] = 0x20;
    aaaa[15] = 0x99;
    Bytes mxData{0, 10};
    const auto host = encodedName("mx1.example.org");
    mxData.insert(mxData.end(), host.begin(), host.end());
    const Bytes txtData{3, 'o', 'n', 'e', 4, ' ', 't', 'w', 'o'};
    const ReplyCase cases[] = {
        {"a listing",
         message(0, kAsked, {a("@", 2)}),
         RecordType::A,
         Outcome::Records,
         {"127.0.0.2"}},
        {"two answers in order",
         message(0, kAsked, {a(kAsked, 4), a("@", 2)}),
         RecordType::A,
         Outcome::Records,
         {"127.0.0.4", "127.0.0.2"}},
        {"case and a final dot do not matter",
         message(0, "2.0.0.127.BL.Test", {a("@", 2)}),
         RecordType::A,
         Outcome::Records,
         {"127.0.0.2"}},
        {"a CNAME chain followed",
         message(0, kAsked, {cname("@", "x.test"), cname("x.test", "y.test"), a("y.test", 3)}),
         RecordType::A,
         Outcome::Records,
         {"127.0.0.3"}},
        {"NXDOMAIN", message(3, kAsked, {}), RecordType::A, Outcome::NoSuchName, {}},
        {"NOERROR without records", message(0, kAsked, {}), RecordType::A, Outcome::NoRecord, {}},
        {"a CNAME to a name without the record",
         message(0, kAsked, {cname("@", "x.test")}),
         RecordType::A,
         Outcome::NoRecord,
         {}},
        {"only another name's A record",
         message(0, kAsked, {a("other.test", 2)}),
         RecordType::A,
         Outcome::Unusable,
         {}},
        {"a CNAME whose target's A is missing, another name's present",
         message(0, kAsked, {cname("@", "x.test"), a("y.test", 2)}),
         RecordType::A,
         Outcome::Unusable,
         {}},
        {"a CNAME loop",
         message(0, kAsked, {cname("@", "x.test"), cname("x.test", kAsked), a("z.test", 2)}),
         RecordType::A,
         Outcome::Unusable,
         {}},
        {"a CNAME to itself",
         message(0, kAsked, {cname("@", kAsked)}),
         RecordType::A,
         Outcome::Unusable,
         {}},
        {"SERVFAIL", message(2, kAsked, {}), RecordType::A, Outcome::Unusable, {}},
        {"REFUSED", message(5, kAsked, {}), RecordType::A, Outcome::Unusable, {}},
        {"an A record of five bytes",
         message(0, kAsked, {{"@", 1, {127, 0, 0, 2, 0}}}),
         RecordType::A,
         Outcome::Unusable,
         {}},
        {"AAAA",
         message(0, "h.test", {{"h.test", 28, aaaa}}),
         RecordType::Aaaa,
         Outcome::Records,
         {"v6:32:153"}},
        {"an A record where AAAA was asked",
         message(0, "h.test", {a("h.test", 2)}),
         RecordType::Aaaa,
         Outcome::NoRecord,
         {}},
        {"MX",
         message(0, "example.org", {{"@", 15, mxData}}),
         RecordType::Mx,
         Outcome::Records,
         {"10 mx1.example.org"}},
        {"TXT of two parts",
         message(0, kAsked, {{"@", 16, txtData}}),
         RecordType::Txt,
         Outcome::Records,
         {"one two"}},
        {"TXT whose part runs past its record",
         message(0, kAsked, {{"@", 16, {9, 'x'}}}),
         RecordType::Txt,
         Outcome::Unusable,
         {}},
    };
    for (const auto& c : cases) {
        // Asked in lower case with a final dot; the reply may write it otherwise.
        const std::string asked = c.type == RecordType::A || c.type == RecordType::Txt
                                      ? kAsked + "."
                                      : (c.type == RecordType::Mx ? "example.org" : "h.test");
        const auto records = readDnsReply(c.reply.data(), c.reply.size(), asked, c.type);
        EXPECT_EQ(records.outcome, c.outcome) << c.what << ": " << records.problem;
        EXPECT_EQ(texts(records), c.records) << c.what;
    }
}

TEST(DnsReply, MalformedRepliesAreUnusableNeverRead) {
    const auto good = message(0, kAsked, {a("@", 2)});
    for (std::size_t length = 0; length < good.size(); ++length) {
        const auto records = readDnsReply(good.data(), length, kAsked, RecordType::A);
        EXPECT_EQ(records.outcome, length < 12 ? Outcome::Unusable : records.outcome);
        if (length >= 12 && length < good.size()) {
            EXPECT_EQ(records.outcome, Outcome::Unusable) << "cut at " << length;
        }
    }
    auto looping = good;
    looping[12] = 0xC0;  // the question's name points at itself
    looping[13] = 12;
    EXPECT_EQ(readDnsReply(looping.data(), looping.size(), kAsked, RecordType::A).outcome,
              Outcome::Unusable);
    EXPECT_EQ(readDnsReply(nullptr, 0, kAsked, RecordType::A).outcome, Outcome::Unusable);
}

}  // namespace
}  // namespace ostrivane
