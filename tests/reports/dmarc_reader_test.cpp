#include "reports/dmarc_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "support/temp_dir.h"

namespace ostrivane {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

std::string reportXml(const std::string& id, const std::vector<std::string>& ips = {"192.0.2.1"}) {
    std::string xml =
        "<?xml version=\"1.0\"?>\n<feedback><report_metadata><org_name>rx</org_name>"
        "<report_id>" +
        id +
        "</report_id><date_range><begin>1767225600</begin>"
        "<end>1767311999</end></date_range></report_metadata><policy_published>"
        "<domain>example.org</domain><p>none</p></policy_published>";
    for (const auto& ip : ips) {
        xml += "<record><row><source_ip>" + ip +
               "</source_ip><count>5</count></row>"
               "<identifiers><header_from>example.org</header_from></identifiers></record>";
    }
    return xml + "</feedback>\n";
}

std::string packed(const Files& files, bool gzip) {
    std::vector<char> out(std::size_t{1} << 20);
    std::size_t used = 0;
    archive* writer = archive_write_new();
    gzip ? (archive_write_add_filter_gzip(writer), archive_write_set_format_raw(writer))
         : archive_write_set_format_zip(writer);
    archive_write_open_memory(writer, out.data(), out.size(), &used);
    for (const auto& [name, bytes] : files) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_write_header(writer, entry);
        archive_write_data(writer, bytes.data(), bytes.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return {out.data(), used};
}

std::string zip(const std::string& xml) {
    return packed({{"r.xml", xml}}, false);
}
std::string gz(const std::string& xml) {
    return packed({{"data", xml}}, true);
}

std::string base64(const std::string& bytes) {
    std::string text(4 * (bytes.size() / 3 + 1), '\0');
    text.resize(static_cast<std::size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(text.data()),
        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()))));
    for (std::size_t at = 76; at < text.size(); at += 78) {
        text.insert(at, "\r\n");
    }
    return text;
}

// Every '=' and every 60th byte as RFC 2045 writes them, with soft line breaks.
std::string quotedPrintable(const std::string& text) {
    std::string encoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        encoded += text[i] == '=' ? std::string("=3D") : std::string(1, text[i]);
        encoded += i % 60 == 59 ? "=\r\n" : "";
    }
    return encoded;
}

struct Attachment {
    std::string type, name, encoding, bytes;
};

std::string mail(const std::vector<Attachment>& attachments) {
    std::string text =
        "From: noreply@rx.example\r\nTo: dmarc@example.org\r\nSubject: Report\r\n"
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
        "--B\r\nContent-Type: text/plain\r\n\r\nA report is attached.\r\n";
    for (const auto& a : attachments) {
        text += "--B\r\nContent-Type: " + a.type + "\r\nContent-Transfer-Encoding: " + a.encoding +
                "\r\nContent-Disposition: attachment; filename=\"" + a.name + "\"\r\n\r\n" +
                (a.encoding == "base64" ? base64(a.bytes) : quotedPrintable(a.bytes)) + "\r\n";
    }
    return text + "--B--\r\n";
}

Attachment zipped(const std::string& id) {
    return {"application/zip", id + ".zip", "base64", zip(reportXml(id))};
}

std::string damaged(std::string bytes) {
    for (std::size_t i = 40; i < 70 && i < bytes.size(); ++i) {
        bytes[i] = '\xFF';
    }
    return bytes;
}

struct FormCase {
    std::string name;
    Files files;
    std::vector<std::string> reports;   // report_id:records, in reading order
    std::vector<std::string> problems;  // fragments of each problem's message, in order
    std::size_t maxXmlBytes = ReadLimits{}.maxXmlBytes;
};

std::vector<FormCase> formCases() {
    const std::string mboxFrom = "From noreply@rx.example Thu Jan  1 00:00:00 2026\n";
    std::string deep = "<feedback>";
    for (int i = 0; i < 40; ++i) {
        deep += "<a>";
    }
    return {
        {"bare XML", {{"a.xml", reportXml("x1", {"192.0.2.1", "2001:db8::7"})}}, {"x1:2"}, {}},
        {"gzip, named as a zip", {{"b.zip", gz(reportXml("g1"))}}, {"g1:1"}, {}},
        {"zip", {{"c.zip", zip(reportXml("z1"))}}, {"z1:1"}, {}},
        {"Maildir message with zipped report",
         {{"Maildir/cur/1.host:2,S", mail({zipped("m1")})},
          {"Maildir/new/2.host", mail({zipped("m2")})},
          {"Maildir/tmp/3.host", mail({zipped("m3")})},
          {"Maildir/dovecot-uidlist", "3 V1 N4\n"}},
         {"m1:1 in attachment 'm1.zip'", "m2:1 in attachment 'm2.zip'"},
         {}},
        {"mbox with two, and a message without a report",
         {{"inbox",
           mboxFrom + mail({{"application/gzip", "a.xml.gz", "base64", gz(reportXml("b1"))}}) +
               "\n" + mboxFrom + mail({zipped("b2")}) + "\n" + mboxFrom + mail({}) + "\n"}},
         {"b1:1 in message 1, attachment 'a.xml.gz'", "b2:1 in message 2, attachment 'b2.zip'"},
         {"inbox: message 3: a mail message with no report attached"}},
        {"eml base64",
         {{"r.eml", mail({{"text/xml", "r.xml", "base64", reportXml("e1")}})}},
         {"e1:1 in attachment 'r.xml'"},
         {}},
        {"eml quoted-printable",
         {{"q.eml", mail({{"text/xml", "q.xml", "quoted-printable", reportXml("q1")}})}},
         {"q1:1 in attachment 'q.xml'"},
         {}},
        {"damaged zip", {{"d.zip", damaged(zip(reportXml("d1")))}}, {}, {"d.zip: a damaged zip"}},
        {"truncated gzip",
         {{"t.xml.gz", gz(reportXml("t1")).substr(0, 60)}},
         {},
         {"t.xml.gz: a damaged gzip"}},
        {"zip bomb",
         {{"bomb.zip", zip("<feedback>" + std::string(std::size_t{3} << 20, ' '))}},
         {},
         {"bomb.zip: larger than 1 MiB unpacked"},
         std::size_t{1} << 20},
        {"zip with two files",
         {{"two.zip", packed({{"1.xml", reportXml("w1")}, {"2.xml", reportXml("w2")}}, false)}},
         {},
         {"two.zip: a zip of more than one file"}},
        {"foreign XML",
         {{"page.xml", "<html><body/></html>"}},
         {},
         {"page.xml: an XML document of another kind (<html>)"}},
        {"non-report file",
         {{"notes.txt", "hello\n"}},
         {},
         {"notes.txt: not a DMARC report: neither XML, gzip, zip nor a mail"}},
        {"bad source_ip record",
         {{"s.xml", reportXml("s1", {"192.0.2.9", "192.0.2.300", ""})}},
         {"s1:1"},
         {"s.xml: report 's1', record 2: source_ip '192.0.2.300' is not",
          "s.xml: report 's1', record 3: has no source_ip"}},
        {"entities of a document type",
         {{"lol.xml",
           "<!DOCTYPE feedback [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
           "<feedback>&b;</feedback>"}},
         {},
         {"lol.xml: an XML document with a document type declaration"}},
        {"no report_id",
         {{"n.xml", reportXml("")}},
         {},
         {"n.xml: a DMARC report without a report_id"}},
        {"nesting too deep", {{"deep.xml", deep}}, {}, {"deep.xml: nests elements deeper than 32"}},
    };
}

TEST(DmarcReader, ReadsEveryFormAndNamesWhatItSkips) {
    for (const auto& c : formCases()) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        for (const auto& [name, bytes] : c.files) {
            std::filesystem::create_directories((dir / name).parent_path());
            testing::writeBytes(dir / name, bytes);
        }
        std::filesystem::create_directories(dir / "Maildir/tmp");
        std::vector<std::string> reports, problems;
        const DmarcSink sink{
            [&](const DmarcReport& report, const ReportOrigin& origin) {
                reports.push_back(report.reportId + ":" + std::to_string(report.records.size()) +
                                  (origin.part.empty() ? "" : " in " + origin.part));
            },
            [&](const ReportProblem& problem) { problems.push_back(problem.message()); }};
        ReadLimits limits;
        limits.maxXmlBytes = c.maxXmlBytes;
        const auto tally = readDmarcReports({dir.path()}, sink, limits);
        EXPECT_EQ(reports, c.reports);
        ASSERT_EQ(problems.size(), c.problems.size()) << ::testing::PrintToString(problems);
        for (std::size_t i = 0; i < problems.size(); ++i) {
            EXPECT_NE(problems[i].find(c.problems[i]), std::string::npos) << problems[i];
        }
        EXPECT_EQ(tally.reports, c.reports.size());
        EXPECT_EQ(tally.skippedReports + tally.skippedRecords, c.problems.size());
    }
}

std::string summary(const DmarcReport& r) {
    std::string text = r.orgName + "|" + r.email + "|" + r.reportId + "|" +
                       std::to_string(r.begin) + "-" + std::to_string(r.end) + "|" +
                       r.policy.domain + " adkim=" + r.policy.adkim + " aspf=" + r.policy.aspf +
                       " p=" + r.policy.p + " sp=" + r.policy.sp +
                       " pct=" + (r.policy.pct ? std::to_string(*r.policy.pct) : "-");
    for (const auto& record : r.records) {
        text += "\n" + formatIpAddress(record.sourceIp) + " x" + std::to_string(record.count) +
                " " + record.disposition + " dkim=" + record.dkim + " spf=" + record.spf +
                " from=" + record.headerFrom + " envelope=" + record.envelopeFrom;
        for (const auto& [kind, results] :
             {std::pair{" dkim:", &record.dkimResults}, std::pair{" spf:", &record.spfResults}}) {
            for (const auto& result : *results) {
                text += kind + result.domain + "=" + result.result;
            }
        }
    }
    return text;
}

// Each field from its own place: a <domain> or <dkim> means something else in
// each parent, and reporters write spaces, capitals, CDATA and namespaces.
TEST(DmarcReader, ReadsEachFieldFromItsPlace) {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<feedback xmlns="urn:ietf:params:xml:ns:dmarc-2.0">
 <report_metadata><org_name> Receiver Inc. </org_name><email>dmarc@rx.example</email>
  <report_id><![CDATA[id-7]]></report_id>
  <date_range><begin> 1767225600 </begin><end>1767311999</end></date_range></report_metadata>
 <policy_published><domain>Example.ORG</domain><adkim>s</adkim><aspf>r</aspf><p>reject</p>
  <sp>quarantine</sp><pct>50</pct></policy_published>
 <record><row><source_ip> 2001:DB8::A </source_ip><count>12</count><policy_evaluated>
   <disposition>Reject</disposition><dkim>fail</dkim><spf>fail</spf></policy_evaluated></row>
  <identifiers><envelope_from>Bounce.example.org</envelope_from>
   <header_from>example.org</header_from></identifiers>
  <auth_results><dkim><domain>example.org</domain><selector>s</selector><result>fail</result>
   </dkim><dkim><domain>esp.example</domain><result>pass</result></dkim><spf>
   <domain>bounce.example.org</domain><scope>mfrom</scope><result>SOFTFAIL</result></spf>
  </auth_results></record>
 <record><row><source_ip>203.0.113.9</source_ip><count>3</count></row></record>
</feedback>)";
    testing::TempDir dir;
    testing::writeBytes(dir / "r.xml", xml);
    std::vector<std::string> reports;
    const auto tally = readDmarcFile(
        dir / "r.xml", {[&](const DmarcReport& report, const ReportOrigin&) {
                            reports.push_back(summary(report));
                        },
                        [](const ReportProblem& problem) { ADD_FAILURE() << problem.message(); }});
    EXPECT_EQ(reports,
              std::vector<std::string>{
                  "Receiver Inc.|dmarc@rx.example|id-7|1767225600-1767311999|example.org "
                  "adkim=s aspf=r p=reject sp=quarantine pct=50\n"
                  "2001:db8::a x12 reject dkim=fail spf=fail from=example.org "
                  "envelope=bounce.example.org dkim:example.org=fail dkim:esp.example=pass "
                  "spf:bounce.example.org=softfail\n"
                  "203.0.113.9 x3  dkim= spf= from= envelope="});
    EXPECT_EQ(tally.messages, 15u);
}

}  // namespace
}  // namespace ostrivane
