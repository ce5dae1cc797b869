#pragma once

// `ostrivane HOST`, the one-host check without a window: one lookup of the host given on the
// command line, the report, and an exit status that a monitoring script can act on.

#include <filesystem>
#include <iosfwd>
#include <string>

#include "core/lookup_run.h"
#include "core/resolver.h"
#include "core/test_points.h"

namespace ostrivane {

struct UnattendedRun {
    std::string host;  // as the command line gave it, unchanged
    std::filesystem::path listFile;
    std::filesystem::path report;
};

// The status of a run that has written its report.
int exitStatusFor(const LookupSummary& summary);

// Start-up, one lookup (each list's test points asked after it, through
// `testPoints`), the report. Never saves the list file and prints nothing when
// all went well; every failure goes to `errors` with the file or the host and
// the reason.
int runUnattended(const UnattendedRun& run, Resolver& resolver, const TestPointAsker& testPoints,
                  std::ostream& errors);

}  // namespace ostrivane
