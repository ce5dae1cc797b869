#include "history/day_states.h"

#include <algorithm>

#include "core/clock.h"

namespace ostrivane {

namespace {

char letterOf(DayState state) {
    switch (state) {
        case DayState::Listed:
            return 'L';
        case DayState::Clear:
            return 'C';
        case DayState::Unknown:
            break;
    }
    return 'U';
}

DayState stateOfLetter(char letter) {
    return letter == 'L' ? DayState::Listed : letter == 'C' ? DayState::Clear : DayState::Unknown;
}

}  // namespace

std::int64_t dayNumberOf(EpochMs at) {
    const std::int64_t day = at / kDayMs;
    return at < 0 && at % kDayMs != 0 ? day - 1 : day;
}

DayState dayStateOf(CheckVerdict verdict) {
    switch (verdict) {
        case CheckVerdict::Listed:
            return DayState::Listed;
        case CheckVerdict::NotListed:
            return DayState::Clear;
        default:
            return DayState::Unknown;
    }
}

DayRecord markDay(DayRecord record, std::int64_t day, DayState state) {
    const auto keep = static_cast<std::size_t>(kRecordedDays);
    if (record.days.empty()) {
        return {day, std::string(1, letterOf(state))};
    }
    if (day > record.lastDay) {
        const std::int64_t gap = day - record.lastDay - 1;
        record.days.append(static_cast<std::size_t>(std::min<std::int64_t>(gap, kRecordedDays)),
                           'U');
        record.days += letterOf(state);
        record.lastDay = day;
        if (record.days.size() > keep) {
            record.days.erase(0, record.days.size() - keep);
        }
        return record;
    }
    const std::int64_t back = record.lastDay - day;
    if (back >= static_cast<std::int64_t>(record.days.size())) {
        return record;
    }
    char& letter = record.days[record.days.size() - 1 - static_cast<std::size_t>(back)];
    if (state > stateOfLetter(letter)) {
        letter = letterOf(state);
    }
    return record;
}

DayState stateOn(const DayRecord& record, std::int64_t day) {
    const std::int64_t back = record.lastDay - day;
    if (back < 0 || back >= static_cast<std::int64_t>(record.days.size())) {
        return DayState::Unknown;
    }
    return stateOfLetter(record.days[record.days.size() - 1 - static_cast<std::size_t>(back)]);
}

}  // namespace ostrivane
