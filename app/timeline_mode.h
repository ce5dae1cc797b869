#pragma once

// `ostrivane --timeline [--history FILE] [TARGET...]`: the listing periods the
// history holds, one a line.

#include <iosfwd>
#include <string>
#include <vector>

#include "history/history_store.h"

namespace ostrivane {

// ADDRESS ZONE FROM TO DURATION REASON, aligned; an open period runs "to now"
// and its duration is counted up to `now`.
void printTimeline(std::ostream& out, const std::vector<ListingPeriod>& periods, EpochMs now);

std::string timelineUsage();

// The arguments after "--timeline". A TARGET is an address (any spelling), or
// a host name, block or other target as a check run was given it: it stands
// for the addresses that runs checked under it; names are not resolved again,
// so a host's history stays findable after its addresses change.
// Status: 0 shown; 2 a target the history does not know (the others are
// shown); 3 usage error or a history file that cannot be read.
int runTimelineCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ostrivane
