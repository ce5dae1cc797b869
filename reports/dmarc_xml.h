#pragma once

// One report's XML, read as it streams in (libxml2's SAX push parser): no
// network, no document type, no entities of its own, a cap on size and depth
// counted while the bytes arrive, so a hostile report costs no more than the
// caps. The report is checked as appendix C of RFC 7489 shapes it; a record
// that cannot be used is skipped with its reason and the others are kept.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "reports/dmarc_report.h"
#include "reports/read_limits.h"

namespace ostrivane {

// Where a report's bytes come from: a file, an archive's entry, an attachment.
class XmlInput {
  public:
    virtual ~XmlInput() = default;
    // Fills at most `size` bytes of `buffer`: the count, 0 at the end, nothing
    // when the bytes cannot go on (damaged, truncated), with the reason in failure().
    virtual std::optional<std::size_t> read(char* buffer, std::size_t size) = 0;
    virtual std::string failure() const = 0;
};

struct SkippedRecord {
    std::size_t number = 0;  // the record's place in the report, from 1
    std::string reason;
};

struct DmarcXmlRead {
    DmarcReport report;
    std::vector<SkippedRecord> skipped;
};

// The report, or why the input is not one.
std::variant<DmarcXmlRead, std::string> readDmarcXml(XmlInput& input, const ReadLimits& limits);

}  // namespace ostrivane
