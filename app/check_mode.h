#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrivane {

// `ostrivane --check ARGS...`: parse, run, print, and the exit status. A
// usage error prints the reason and the usage on `err` and returns 3.
int runCheckCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err);

}  // namespace ostrivane
