#pragma once

// The formats a check run is printed in, one file each (check_text_output.cpp,
// check_json_output.cpp, check_nagios_output.cpp); printCheckRun picks one.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "formats/check_output.h"
#include "results/check_options.h"
#include "results/check_result.h"
#include "text/phrases.h"

namespace ostrivane {

// A block per address, its results aligned in columns, then the summary;
// --quiet and --changes choose the results shown.
std::unique_ptr<CheckPrinter> textPrinter(const CheckOptions& options, bool withChange,
                                          std::ostream& out);

// One document: every result as it comes, then the zones, the unresolved
// targets, the findings and the summary.
std::unique_ptr<CheckPrinter> jsonPrinter(EpochMs startedAt, std::ostream& out);

// The plugin's status line naming the state (0 OK to 3 UNKNOWN), under 200
// characters (the first findings, then "and N more"), with its performance
// data; then the long output: a line per listing (at most
// kNagiosListingLines), per list without a verdict, per target not resolved,
// and per problem.
std::unique_ptr<CheckPrinter> nagiosPrinter(const CheckOptions& options, std::ostream& out);

// The answers as shown: bare codes, "127.0.0.2,127.0.0.4", for a list the
// catalog does not know; else each code with its class and meaning,
// "127.0.0.10 policy-listing: PBL …", several of them apart by "; ".
std::string answersText(const CheckResult& result);

}  // namespace ostrivane
