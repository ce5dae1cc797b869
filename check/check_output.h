#pragma once

// The three ways a check run is printed.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "check/check_options.h"
#include "check/check_result.h"

namespace ostrivane {

// 2026-12-07T16:12:42Z (milliseconds are dropped).
std::string formatRfc3339(EpochMs time);

// In the options' format; --quiet and --changes shape the text format. The
// nagios line names `status`, the state the run ends with (0 OK to 3 UNKNOWN);
// text and json print the same whatever it is. `problems` (a history that
// could not be written, a page) go to nagios's long output, since a monitor
// reads nothing else; the other formats leave them to standard error.
void printCheckRun(const CheckRun& run, const CheckOptions& options, int status, std::ostream& out,
                   const std::vector<std::string>& problems = {});

}  // namespace ostrivane
