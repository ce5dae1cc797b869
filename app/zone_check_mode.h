#pragma once

// `ostrivane --check-zones`: is every blacklist of the list file alive?

#include <filesystem>
#include <iosfwd>

#include "core/resolver.h"

namespace ostrivane {

// Asks every zone of the list file about 127.0.0.2 and 127.0.0.1, prints the
// table and returns the status: 0 when every zone is healthy, 4 when one is
// not or no row has a zone. Worker threads may still be blocked in `resolver`
// when it returns: the caller flushes and ends the process with std::_Exit,
// leaving the resolver alive.
int runZoneCheckMode(const std::filesystem::path& listFile, Resolver& resolver, std::ostream& out,
                     std::ostream& errors);

}  // namespace ostrivane
