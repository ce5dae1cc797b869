#pragma once

#include <cstddef>
#include <string>

namespace ostrivane {

// A cap as people read it: "64 MiB", or bytes when it is no whole number of MiB.
inline std::string sizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                             : std::to_string(bytes) + " bytes";
}

}  // namespace ostrivane
