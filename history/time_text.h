#pragma once

// Times and durations as the timeline and the status page print them.

#include <cstdint>
#include <string>
#include <string_view>

#include "results/check_result.h"

namespace ostrivane {

// "2026-12-07 16:05 UTC".
std::string utcMinuteText(EpochMs at);

// "2026-12-07".
std::string utcDayText(EpochMs at);

// The rough length a person reads: "3d 4h", "5h 12m", "14m", "0m".
std::string durationText(std::int64_t ms);

}  // namespace ostrivane
