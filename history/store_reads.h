#pragma once

// What the store's readers ask of it: the listing periods (the timeline), the
// addresses of a target, whether an address was ever checked, and the recent
// days of every subject (the status page's strips). Each throws
// sqlite::SqliteError, which HistoryStore turns into a HistoryProblem.

#include <sqlite3.h>

#include <string>
#include <vector>

#include "history/history_store.h"

namespace ostrivane {

// By address (as numbers: 192.0.2.9 before 192.0.2.10, IPv4 before IPv6),
// zone and start; all addresses when `addresses` is empty.
std::vector<ListingPeriod> readTimeline(sqlite3* db, const std::vector<std::string>& addresses);

std::vector<std::string> readAddressesOfTarget(sqlite3* db, const std::string& target);

bool readKnowsAddress(sqlite3* db, const std::string& address);

// The last `dayCount` UTC days (at least one) up to the day of `now`.
RecentDays readRecentDays(sqlite3* db, EpochMs now, int dayCount);

}  // namespace ostrivane
