#pragma once

// A check without a window: one lookup of the host given on the command line,
// the report, and an exit status that a monitoring script can act on.

#include <filesystem>
#include <iosfwd>
#include <string>

#include "core/lookup_run.h"
#include "core/memory_table.h"
#include "core/resolver.h"

namespace ostrivane {

inline constexpr int kExitClean = 0;       // resolved, all answered, none listed
inline constexpr int kExitListed = 1;      // at least one blacklist lists the host
inline constexpr int kExitUnresolved = 2;  // the host could not be resolved
inline constexpr int kExitFailed = 3;      // no report, or nothing to look up
inline constexpr int kExitIncomplete = 4;  // none listed, but some gave no verdict

struct UnattendedRun {
    std::string host;  // as the command line gave it, unchanged
    std::filesystem::path listFile;
    std::filesystem::path report;
};

// The status of a run that has written its report.
int exitStatusFor(const LookupSummary& summary);

// Start-up's blacklists: the list file, or the defaults when there is none or
// it cannot be read. The check goes on with the defaults then, but a list the
// user cannot see being ignored would make every later report misleading, so
// the reason goes to `errors`.
MemoryTable startUpWarningOfProblems(const std::filesystem::path& listFile, std::ostream& errors);

// Start-up, one lookup, the report. Never saves the list file and prints
// nothing when all went well; every failure goes to `errors` with the file or
// the host and the reason.
int runUnattended(const UnattendedRun& run, Resolver& resolver, std::ostream& errors);

// The health check of every zone of the list file, printed to `out`. Worker
// threads may still be blocked in `resolver` when it returns: the caller
// flushes and ends the process with std::_Exit, leaving the resolver alive.
int runZoneCheckOfListFile(const std::filesystem::path& listFile, Resolver& resolver,
                           std::ostream& out, std::ostream& errors);

}  // namespace ostrivane
