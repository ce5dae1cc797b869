#pragma once

// The three ways a check run is printed, and the exit status it ends with.

#include <iosfwd>
#include <string>
#include <string_view>

#include "check/check_options.h"
#include "check/check_result.h"

namespace ostrivane {

inline constexpr int kCheckClean = 0;       // every verdict in, none listed
inline constexpr int kCheckListed = 1;      // at least one listing
inline constexpr int kCheckUnresolved = 2;  // a target did not resolve (the rest was checked)
inline constexpr int kCheckUsage = 3;       // usage error: nothing checked
inline constexpr int kCheckIncomplete = 4;  // none listed, but some verdict is missing

inline constexpr int kNagiosOk = 0;
inline constexpr int kNagiosWarning = 1;
inline constexpr int kNagiosCritical = 2;
inline constexpr int kNagiosUnknown = 3;

// 2026-12-07T16:12:42Z (milliseconds are dropped).
std::string formatRfc3339(EpochMs time);

// In the options' format; --quiet and --changes shape the text format.
void printCheckRun(const CheckRun& run, const CheckOptions& options, std::ostream& out);

// text and json: 1 listed, else 2 unresolved, else 4 incomplete, else 0; with
// --changes, 1 when any listing is new, else 0. nagios: 0 to 3.
int checkExitStatus(const CheckRun& run, const CheckOptions& options);

}  // namespace ostrivane
