#include "reports/snds_csv.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <functional>

#include "reports/csv_fields.h"

namespace ostrivane {
namespace {

using Fields = std::vector<std::string>;

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::optional<std::uint64_t> count(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> unixTime(int year, int month, int day, int hour, int minute,
                                     int second) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year}, std::chrono::month(unsigned(month)),
                              std::chrono::day(unsigned(day))};
    if (!date.ok() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60) {
        return std::nullopt;
    }
    return sys_days(date).time_since_epoch().count() * 86400 + hour * 3600 + minute * 60 + second;
}

// SNDS writes "6/30/2024 9:00 PM"; "2024-06-30 21:00" is taken too.
std::optional<std::int64_t> sndsTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
    const char* c = text.c_str();
    if (std::sscanf(c, "%4d-%2d-%2d%*1[ T]%2d:%2d%n", &year, &month, &day, &hour, &minute, &used) !=
            5 &&
        std::sscanf(c, "%2d/%2d/%4d %2d:%2d%n", &month, &day, &year, &hour, &minute, &used) != 5) {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(text).substr(static_cast<std::size_t>(used));
    if (rest.size() >= 3 && rest[0] == ':' &&
        std::sscanf(rest.data() + 1, "%2d%n", &second, &used) == 1 && used == 2) {
        rest.remove_prefix(3);
    }
    const std::string meridiem = upper(std::string(rest));
    if (meridiem == " AM" || meridiem == " PM") {
        if (hour < 1 || hour > 12) {
            return std::nullopt;
        }
        hour = hour % 12 + (meridiem == " PM" ? 12 : 0);
    } else if (!rest.empty()) {
        return std::nullopt;
    }
    return unixTime(year, month, day, hour, minute, second);
}

// The first line is a header when its first field holds what no address
// holds ("IP Address"); a mistyped address is a problem, not a header.
bool isHeader(const Fields& fields, std::size_t number) {
    return number == 1 &&
           fields[0].find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos;
}

template <typename Row>
SndsLines<Row> parseLines(
    std::string_view csv, std::size_t maxFields,
    const std::function<std::optional<std::string>(const Fields&, Row&)>& read) {
    SndsLines<Row> lines;
    forEachLine(csv, [&](std::string_view line, std::size_t number) {
        if (line.find_first_not_of(" \t") == line.npos) {
            return;
        }
        const Fields fields = csvFields(line, maxFields);
        if (isHeader(fields, number)) {
            return;
        }
        Row row;
        if (auto reason = read(fields, row)) {
            lines.problems.push_back({number, std::move(*reason)});
        } else {
            lines.rows.push_back(std::move(row));
        }
    });
    return lines;
}

std::optional<std::string> readStatus(const Fields& fields, SndsIpStatus& row) {
    if (fields.size() < 4) {  // the reason takes the rest of the line, commas and all
        return "has " + std::to_string(fields.size()) +
               " fields, not the 4 of first address, last address, blocked, reason";
    }
    const auto first = parseIpAddress(fields[0]);
    const auto last = parseIpAddress(fields[1]);
    if (!first || !last) {
        return "'" + fields[first ? 1 : 0] + "' is not an IPv4 or IPv6 address";
    }
    if (first->family != last->family || *last < *first) {
        return "the range " + fields[0] + " to " + fields[1] + " is not a range";
    }
    const std::string blocked = upper(fields[2]);
    if (blocked != "YES" && blocked != "NO") {
        return "blocked is '" + fields[2] + "', not Yes or No";
    }
    row = {*first, *last, blocked == "YES", fields[3]};
    return std::nullopt;
}

std::optional<std::string> readActivity(const Fields& fields, SndsDataRow& row) {
    const auto start = sndsTime(fields[1]);
    const auto end = sndsTime(fields[2]);
    if (!start || !end) {
        return "'" + fields[start ? 2 : 1] + "' is not a time";
    }
    row.activityStart = *start;
    row.activityEnd = *end;
    const auto rcpt = count(fields[3]), data = count(fields[4]), recipients = count(fields[5]);
    if (!rcpt || !data || !recipients) {
        return "'" + fields[!rcpt ? 3 : !data ? 4 : 5] + "' is not a count";
    }
    row.rcptCommands = *rcpt;
    row.dataCommands = *data;
    row.recipients = *recipients;
    return std::nullopt;
}

std::optional<std::string> readVerdicts(const Fields& fields, SndsDataRow& row) {
    const std::string filter = upper(fields[6]);
    if (filter != "GREEN" && filter != "YELLOW" && filter != "RED") {
        return "filter result '" + fields[6] + "' is not GREEN, YELLOW or RED";
    }
    row.filter = filter == "RED"      ? SndsFilter::Red
                 : filter == "YELLOW" ? SndsFilter::Yellow
                                      : SndsFilter::Green;
    row.complaintRate = fields[7];
    double percent = 0;
    if (std::sscanf(fields[7].c_str(), " < %lf", &percent) == 1 ||
        std::sscanf(fields[7].c_str(), "%lf", &percent) == 1) {
        row.complaintPercent = percent;
    }
    for (auto [field, time] : {std::pair{8, &row.trapStart}, std::pair{9, &row.trapEnd}}) {
        if (!fields[field].empty() && !(*time = sndsTime(fields[field]))) {
            return "'" + fields[field] + "' is not a time";
        }
    }
    const auto hits = fields[10].empty() ? std::optional<std::uint64_t>(0) : count(fields[10]);
    if (!hits) {
        return "trap hits '" + fields[10] + "' is not a count";
    }
    row.trapHits = *hits;
    return std::nullopt;
}

std::optional<std::string> readData(const Fields& fields, SndsDataRow& row) {
    if (fields.size() < 11) {
        return "has " + std::to_string(fields.size()) +
               " fields, fewer than the 11 of an SNDS data line";
    }
    const auto address = parseIpAddress(fields[0]);
    if (!address) {
        return "'" + fields[0] + "' is not an IPv4 or IPv6 address";
    }
    row.address = *address;
    if (auto reason = readActivity(fields, row)) {
        return reason;
    }
    return readVerdicts(fields, row);
}

}  // namespace

SndsLines<SndsIpStatus> parseSndsIpStatus(std::string_view csv) {
    return parseLines<SndsIpStatus>(csv, 4, readStatus);
}

SndsLines<SndsDataRow> parseSndsData(std::string_view csv) {
    return parseLines<SndsDataRow>(csv, SIZE_MAX, readData);
}

SndsFileKind sndsFileKind(std::string_view csv) {
    SndsFileKind kind = SndsFileKind::Unknown;
    bool decided = false;
    forEachLine(csv, [&](std::string_view line, std::size_t number) {
        if (decided || line.find_first_not_of(" \t") == line.npos) {
            return;
        }
        const Fields fields = csvFields(line);
        if (isHeader(fields, number)) {
            return;
        }
        decided = true;
        const std::string third = fields.size() > 2 ? upper(fields[2]) : "";
        if (third == "YES" || third == "NO") {
            kind = SndsFileKind::IpStatus;
        } else if (fields.size() >= 11) {
            kind = SndsFileKind::Data;
        }
    });
    return kind;
}

}  // namespace ostrivane
