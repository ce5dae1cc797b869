#include "history/time_text.h"

#include <ctime>

namespace ostrivane {

namespace {

std::tm utcOf(EpochMs at) {
    std::time_t seconds = static_cast<std::time_t>(at / 1000);
    if (at < 0 && at % 1000 != 0) {
        --seconds;
    }
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    return parts;
}

std::string formatted(EpochMs at, const char* format) {
    const std::tm parts = utcOf(at);
    char text[64];
    const std::size_t size = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, size);
}

}  // namespace

std::string utcMinuteText(EpochMs at) {
    return formatted(at, "%Y-%m-%d %H:%M UTC");
}

std::string utcDayText(EpochMs at) {
    return formatted(at, "%Y-%m-%d");
}

std::string durationText(std::int64_t ms) {
    const std::int64_t minutes = ms > 0 ? ms / 60000 : 0;
    const std::int64_t days = minutes / (24 * 60);
    const std::int64_t hours = minutes / 60 % 24;
    if (days > 0) {
        return std::to_string(days) + "d " + std::to_string(hours) + "h";
    }
    if (hours > 0) {
        return std::to_string(hours) + "h " + std::to_string(minutes % 60) + "m";
    }
    return std::to_string(minutes) + "m";
}

}  // namespace ostrivane
