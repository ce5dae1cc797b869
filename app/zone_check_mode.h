#pragma once

// `ostrivane --check-zones [OPTIONS]`: is every blacklist of the list file
// alive?

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace ostrivane {

// Asks every zone of the list file (--list, else `defaultListFile`) about
// 127.0.0.2 and 127.0.0.1 through the check's engine, prints the table or the
// JSON document and returns the status: 0 when every zone is healthy, 4 when
// one is not or no row has a zone, 3 on a usage error.
int runZoneCheckMode(const std::vector<std::string>& args,
                     const std::filesystem::path& defaultListFile, std::ostream& out,
                     std::ostream& err);

// The usage text of the zone check.
std::string zoneCheckUsageText();

}  // namespace ostrivane
