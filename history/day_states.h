#pragma once

// What the runs of one UTC day found for an address on a zone, and the short
// record of the last days that the store keeps beside each address and zone,
// so that the status page's strips need no record of every run.

#include <cstdint>
#include <string>
#include <string_view>

#include "results/check_result.h"

namespace ostrivane {

// Listed when any run of the day found a listing, clear when runs found it not
// listed and none listed, unknown when no run of that day gave a known verdict.
enum class DayState { Unknown, Clear, Listed };

// How many days the record keeps; the page shows 30 of them.
inline constexpr int kRecordedDays = 32;

// The UTC day of a time: days since 1970-01-01.
std::int64_t dayNumberOf(EpochMs at);

// The record is one letter per day, oldest first, the last letter for
// `lastDay`: 'L' listed, 'C' clear, 'U' unknown.
struct DayRecord {
    std::int64_t lastDay = 0;
    std::string days;
    friend bool operator==(const DayRecord&, const DayRecord&) = default;
};

DayState dayStateOf(CheckVerdict verdict);

// The record with `state` counted for `day`: a later day moves the record on
// (the days between stay unknown), a day already there keeps the stronger
// state (listed over clear over unknown), a day older than the record is
// dropped.
DayRecord markDay(DayRecord record, std::int64_t day, DayState state);

// The state of `day` in the record; unknown outside it.
DayState stateOn(const DayRecord& record, std::int64_t day);

}  // namespace ostrivane
