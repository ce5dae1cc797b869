#pragma once

// The fields of one CSV line (RFC 4180: commas, fields in double quotes with
// "" for a quote), each trimmed of surrounding spaces; and the lines of a
// text, CR LF or LF.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrivane {

// At most maxFields: the last one takes the rest of the line, commas and all.
std::vector<std::string> csvFields(std::string_view line, std::size_t maxFields = SIZE_MAX);

// Calls `line` with each line and its number from 1, the end of line removed.
void forEachLine(std::string_view text,
                 const std::function<void(std::string_view line, std::size_t number)>& line);

}  // namespace ostrivane
