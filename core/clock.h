#pragma once

#include <cstdint>

namespace ostrivane {

// Milliseconds since 1970-01-01T00:00:00Z.
using EpochMs = std::int64_t;

inline constexpr EpochMs kDayMs = 24LL * 60 * 60 * 1000;

// The wall clock as every run, history row and page stamps it.
EpochMs nowEpochMs();

}  // namespace ostrivane
