#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrivane {

// `ostrivane --serve [ADDRESS]:PORT [OPTIONS]`: the Prometheus exporter. Runs
// until SIGTERM or SIGINT (status 0); 2 when it cannot listen; 3 for a usage
// error, said with the usage on `err`.
int runServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ostrivane
