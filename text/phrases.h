#pragma once

// Phrases made of parts, for every output: parts joined by a separator, and a
// count with its noun.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrivane {

// {"a", "b"} and "; " -> "a; b"; nothing -> "".
std::string joined(const std::vector<std::string>& parts, std::string_view separator);

// "1 zone", "2 zones".
std::string counted(std::size_t count, std::string_view one, std::string_view many);

}  // namespace ostrivane
