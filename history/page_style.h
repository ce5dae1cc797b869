#pragma once

// The status page's look and its fixed words: the style sheet, in the
// window's colours, and the legend that explains the verdicts, the answers'
// classes and the day strips.

#include <string>

#include "history/history_store.h"

namespace ostrivane {

std::string pageStyleSheet();

// The days of `recent` are named only when the page shows their strips.
std::string pageLegend(const RecentDays& recent, bool withHistory);

}  // namespace ostrivane
