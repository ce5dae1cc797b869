#pragma once

// The exit statuses of every mode, for cron, scripts and monitors. Each mode's
// --help and the man page say which of them it uses and when.

namespace ostrivane {

inline constexpr int kExitClean = 0;        // all checked, none listed; --timeline: shown
inline constexpr int kExitListed = 1;       // at least one listing (--changes: a new one)
inline constexpr int kExitUnresolved = 2;   // a host or target not resolved or not known
inline constexpr int kExitFailed = 3;       // usage error, or an output that was not written
inline constexpr int kExitIncomplete = 4;   // none listed, but a verdict missing or a zone unwell
inline constexpr int kExitCannotServe = 2;  // --serve: the address cannot be listened on

inline constexpr int kNagiosOk = 0;        // --format nagios: no listing, every verdict in
inline constexpr int kNagiosWarning = 1;   // from --warning listings, or a verdict missing
inline constexpr int kNagiosCritical = 2;  // from --critical listings
inline constexpr int kNagiosUnknown = 3;   // nothing checked, a target unresolved, a usage error

}  // namespace ostrivane
