#include "reports/report_builder.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace ostrivane {
namespace {

constexpr std::pair<std::string_view, ReportTag> kTags[] = {
    {"feedback", ReportTag::Feedback},
    {"report_metadata", ReportTag::ReportMetadata},
    {"org_name", ReportTag::OrgName},
    {"email", ReportTag::Email},
    {"report_id", ReportTag::ReportId},
    {"date_range", ReportTag::DateRange},
    {"begin", ReportTag::Begin},
    {"end", ReportTag::End},
    {"policy_published", ReportTag::PolicyPublished},
    {"domain", ReportTag::Domain},
    {"adkim", ReportTag::Adkim},
    {"aspf", ReportTag::Aspf},
    {"p", ReportTag::P},
    {"sp", ReportTag::Sp},
    {"pct", ReportTag::Pct},
    {"record", ReportTag::Record},
    {"row", ReportTag::Row},
    {"source_ip", ReportTag::SourceIp},
    {"count", ReportTag::Count},
    {"policy_evaluated", ReportTag::PolicyEvaluated},
    {"disposition", ReportTag::Disposition},
    {"dkim", ReportTag::Dkim},
    {"spf", ReportTag::Spf},
    {"identifiers", ReportTag::Identifiers},
    {"header_from", ReportTag::HeaderFrom},
    {"envelope_from", ReportTag::EnvelopeFrom},
    {"auth_results", ReportTag::AuthResults},
    {"result", ReportTag::Result},
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void trim(std::string& text) {
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    text.erase(text.begin(), first);
    while (!text.empty() && isSpace(text.back())) {
        text.pop_back();
    }
}

void trimLower(std::string& text) {
    trim(text);
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
}

// A value from the report inside a reason: quoted, and cut short, since the
// report may be hostile.
std::string quoted(std::string_view value) {
    constexpr std::size_t kShown = 64;
    std::string text = "'" + std::string(value.substr(0, kShown));
    return text + (value.size() > kShown ? "...'" : "'");
}

template <typename Number>
std::optional<Number> numberOf(const std::string& text) {
    Number value{};
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

ReportTag reportTag(std::string_view localName) {
    for (const auto& [name, tag] : kTags) {
        if (name == localName) {
            return tag;
        }
    }
    return ReportTag::Other;
}

ReportTag ReportBuilder::parent(std::size_t up) const {
    return m_open.size() > up ? m_open[m_open.size() - 1 - up] : ReportTag::Other;
}

std::optional<std::string> ReportBuilder::open(ReportTag tag, std::string_view localName) {
    if (!m_seenRoot && tag != ReportTag::Feedback) {
        return "an XML document of another kind (<" + std::string(localName.substr(0, 64)) +
               ">), not a DMARC report's <feedback>";
    }
    m_seenRoot = true;
    m_open.push_back(tag);
    if (tag == ReportTag::Record && parent(1) == ReportTag::Feedback) {
        m_inRecord = true;
        m_record = {};
        m_sourceIp.clear();
        m_count.clear();
    }
    if (m_inRecord && parent(1) == ReportTag::AuthResults) {
        if (tag == ReportTag::Dkim) {
            m_record.dkimResults.emplace_back();
        } else if (tag == ReportTag::Spf) {
            m_record.spfResults.emplace_back();
        }
    }
    m_text = fieldOf(tag);
    if (m_text) {
        m_text->clear();
    }
    return std::nullopt;
}

std::string* ReportBuilder::authField(std::vector<DmarcAuthResult>& results, ReportTag tag) {
    if (parent(2) != ReportTag::AuthResults || results.empty()) {
        return nullptr;
    }
    if (tag == ReportTag::Domain) {
        return &results.back().domain;
    }
    return tag == ReportTag::Result ? &results.back().result : nullptr;
}

std::string* ReportBuilder::fieldOf(ReportTag tag) {
    auto& report = m_read.report;
    auto& policy = report.policy;
    switch (parent(1)) {
        case ReportTag::ReportMetadata:
            return tag == ReportTag::OrgName    ? &report.orgName
                   : tag == ReportTag::Email    ? &report.email
                   : tag == ReportTag::ReportId ? &report.reportId
                                                : nullptr;
        case ReportTag::DateRange:
            return tag == ReportTag::Begin ? &m_begin : tag == ReportTag::End ? &m_end : nullptr;
        case ReportTag::PolicyPublished:
            return tag == ReportTag::Domain  ? &policy.domain
                   : tag == ReportTag::Adkim ? &policy.adkim
                   : tag == ReportTag::Aspf  ? &policy.aspf
                   : tag == ReportTag::P     ? &policy.p
                   : tag == ReportTag::Sp    ? &policy.sp
                   : tag == ReportTag::Pct   ? &m_pct
                                             : nullptr;
        default:
            break;
    }
    if (!m_inRecord) {
        return nullptr;
    }
    switch (parent(1)) {
        case ReportTag::Row:
            return tag == ReportTag::SourceIp ? &m_sourceIp
                   : tag == ReportTag::Count  ? &m_count
                                              : nullptr;
        case ReportTag::PolicyEvaluated:
            return tag == ReportTag::Disposition ? &m_record.disposition
                   : tag == ReportTag::Dkim      ? &m_record.dkim
                   : tag == ReportTag::Spf       ? &m_record.spf
                                                 : nullptr;
        case ReportTag::Identifiers:
            return tag == ReportTag::HeaderFrom     ? &m_record.headerFrom
                   : tag == ReportTag::EnvelopeFrom ? &m_record.envelopeFrom
                                                    : nullptr;
        case ReportTag::Dkim:
            return authField(m_record.dkimResults, tag);
        case ReportTag::Spf:
            return authField(m_record.spfResults, tag);
        default:
            return nullptr;
    }
}

void ReportBuilder::text(std::string_view text) {
    if (m_text) {
        m_text->append(text);
    }
}

void ReportBuilder::close() {
    m_text = nullptr;
    if (m_open.empty()) {
        return;
    }
    const bool endsRecord = m_open.back() == ReportTag::Record && m_inRecord && m_open.size() == 2;
    m_open.pop_back();
    if (endsRecord) {
        m_inRecord = false;
        finishRecord();
    }
}

void ReportBuilder::finishRecord() {
    const std::size_t number = ++m_recordNumber;
    trim(m_sourceIp);
    trim(m_count);
    const auto address = parseIpAddress(m_sourceIp);
    const auto count = numberOf<std::uint64_t>(m_count);
    if (!address) {
        m_read.skipped.push_back(
            {number, m_sourceIp.empty()
                         ? "has no source_ip"
                         : "source_ip " + quoted(m_sourceIp) + " is not an IPv4 or IPv6 address"});
        return;
    }
    if (!count) {
        m_read.skipped.push_back({number, "count " + quoted(m_count) + " is not a number"});
        return;
    }
    DmarcRecord& record = m_record;
    record.sourceIp = *address;
    record.count = *count;
    for (std::string* field : {&record.disposition, &record.dkim, &record.spf, &record.headerFrom,
                               &record.envelopeFrom}) {
        trimLower(*field);
    }
    for (auto* results : {&record.dkimResults, &record.spfResults}) {
        for (auto& result : *results) {
            trimLower(result.domain);
            trimLower(result.result);
        }
    }
    m_read.report.records.push_back(std::move(record));
}

std::variant<DmarcXmlRead, std::string> ReportBuilder::finish() {
    auto& report = m_read.report;
    for (std::string* field :
         {&report.orgName, &report.email, &report.reportId, &m_begin, &m_end, &m_pct}) {
        trim(*field);
    }
    for (std::string* field : {&report.policy.domain, &report.policy.adkim, &report.policy.aspf,
                               &report.policy.p, &report.policy.sp}) {
        trimLower(*field);
    }
    if (report.reportId.empty()) {
        return std::string("a DMARC report without a report_id");
    }
    if (report.orgName.empty() && report.email.empty()) {
        return std::string("a DMARC report that names no reporter (org_name, email)");
    }
    const auto begin = numberOf<std::int64_t>(m_begin);
    const auto end = numberOf<std::int64_t>(m_end);
    if (!begin || !end) {
        return "date_range " + quoted(m_begin) + " to " + quoted(m_end) +
               " is not a pair of Unix times";
    }
    if (report.policy.domain.empty()) {
        return std::string("a DMARC report that names no domain (policy_published)");
    }
    report.begin = *begin;
    report.end = *end;
    if (const auto pct = numberOf<int>(m_pct); pct && *pct >= 0 && *pct <= 100) {
        report.policy.pct = *pct;
    }
    return std::move(m_read);
}

}  // namespace ostrivane
