#pragma once

// Builds a DmarcReport from the elements of its XML as they open and close:
// what each element means depends on its parent (a <domain> in
// <policy_published> is the domain of the policy, in <auth_results><dkim>
// the signing domain), so the builder keeps the open elements. Free of
// libxml2, which only feeds it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "reports/dmarc_xml.h"

namespace ostrivane {

enum class ReportTag : std::uint8_t {
    Other,
    Feedback,
    ReportMetadata,
    OrgName,
    Email,
    ReportId,
    DateRange,
    Begin,
    End,
    PolicyPublished,
    Domain,
    Adkim,
    Aspf,
    P,
    Sp,
    Pct,
    Record,
    Row,
    SourceIp,
    Count,
    PolicyEvaluated,
    Disposition,
    Dkim,
    Spf,
    Identifiers,
    HeaderFrom,
    EnvelopeFrom,
    AuthResults,
    Result,
};

// The element's local name as a tag; Other for any name a report does not use.
ReportTag reportTag(std::string_view localName);

class ReportBuilder {
  public:
    // An element opens; the reason to stop when the document is not a report.
    std::optional<std::string> open(ReportTag tag, std::string_view localName);
    void close();
    void text(std::string_view text);
    // At the end of the document: the report, or what it lacks.
    std::variant<DmarcXmlRead, std::string> finish();

  private:
    ReportTag parent(std::size_t up) const;
    std::string* fieldOf(ReportTag tag);
    std::string* authField(std::vector<DmarcAuthResult>& results, ReportTag tag);
    void finishRecord();

    std::vector<ReportTag> m_open;
    std::string* m_text = nullptr;  // the field the current element's text goes to
    bool m_seenRoot = false;
    DmarcXmlRead m_read;
    std::string m_begin, m_end, m_pct;
    bool m_inRecord = false;
    std::string m_sourceIp, m_count;
    DmarcRecord m_record;
    std::size_t m_recordNumber = 0;
};

}  // namespace ostrivane
