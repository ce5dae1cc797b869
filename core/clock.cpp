#include "core/clock.h"

#include <chrono>

namespace ostrivane {

EpochMs nowEpochMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace ostrivane
