#pragma once

// The status page of `--page FILE.html`: one self-contained HTML document (no
// external file, script, font or image; the style is inline) that a web
// server or a browser shows as it is.

#include <string>
#include <string_view>

#include "history/history_store.h"
#include "results/check_result.h"

namespace ostrivane {

// Per address of the run (in the run's order): each zone's verdict in the
// window's colours (listed: white on dark red), the change and since when, the
// reason, the list's information page, and a strip of `recent`'s days (one
// cell per day: listed, clear, unknown). With no history (`recent` has no
// days) the strips are left out.
std::string renderStatusPage(const CheckRun& run, const RecentDays& recent);

}  // namespace ostrivane
