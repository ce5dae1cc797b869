#pragma once

// Microsoft SNDS's two CSV files, as its automated access serves them to a
// key holder: "IP status" (ranges of the key's addresses and whether
// Outlook.com blocks them) and "data" (per address and day: the traffic seen,
// the spam filter's verdict, complaints and trap hits). No header line; a
// header line first is skipped. A line that cannot be read is a problem with
// its number; the others are read on.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ip_address.h"

namespace ostrivane {

// "first IP,last IP,Yes|No,reason"
struct SndsIpStatus {
    IpAddress first;
    IpAddress last;  // same family, not below first
    bool blocked = false;
    std::string reason;  // SNDS's words for the block; may be empty
};

enum class SndsFilter : std::uint8_t { Green, Yellow, Red };

// "IP,activity start,activity end,RCPT,DATA,recipients,filter,complaint rate,
//  trap start,trap end,trap hits[,sample HELO,JMR sender,comments]"
struct SndsDataRow {
    IpAddress address;
    std::int64_t activityStart = 0;  // Unix seconds, SNDS's times taken as UTC
    std::int64_t activityEnd = 0;
    std::uint64_t rcptCommands = 0;
    std::uint64_t dataCommands = 0;
    std::uint64_t recipients = 0;
    SndsFilter filter = SndsFilter::Green;
    std::string complaintRate;               // as SNDS writes it: "< 0.1%", "2.5%"
    std::optional<double> complaintPercent;  // its figure: 0.1, 2.5
    std::optional<std::int64_t> trapStart;   // empty without trap hits
    std::optional<std::int64_t> trapEnd;
    std::uint64_t trapHits = 0;
};

struct SndsLineProblem {
    std::size_t line = 0;  // from 1
    std::string reason;
};

template <typename Row>
struct SndsLines {
    std::vector<Row> rows;
    std::vector<SndsLineProblem> problems;
};

SndsLines<SndsIpStatus> parseSndsIpStatus(std::string_view csv);
SndsLines<SndsDataRow> parseSndsData(std::string_view csv);

enum class SndsFileKind : std::uint8_t { IpStatus, Data, Unknown };

// Which of the two a file is, from its first line of data (a file without
// one is Unknown).
SndsFileKind sndsFileKind(std::string_view csv);

}  // namespace ostrivane
