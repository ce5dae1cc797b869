#pragma once

// The formats a check run is printed in, one file each (check_text_output.cpp,
// check_json_output.cpp, check_nagios_output.cpp); printCheckRun picks one.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "check/check_options.h"
#include "check/check_result.h"

namespace ostrivane {

// A block per address, the results aligned in columns, then the summary;
// --quiet and --changes choose the results shown.
void printCheckText(const CheckRun& run, const CheckOptions& options, std::ostream& out);

// One document: the zones, every result, the unresolved targets, the summary.
void printCheckJson(const CheckRun& run, std::ostream& out);

// The plugin's status line naming `state` (0 OK to 3 UNKNOWN), under 200
// characters (the first findings, then "and N more"), with its performance
// data; then the long output: a line per listing, per list without a verdict,
// per target not resolved, and per problem.
void printCheckNagios(const CheckRun& run, const CheckOptions& options, int state,
                      const std::vector<std::string>& problems, std::ostream& out);

// "1 zone", "2 zones".
std::string plural(std::size_t count, std::string_view one, std::string_view many);

std::string joined(const std::vector<std::string>& parts, std::string_view separator);

}  // namespace ostrivane
