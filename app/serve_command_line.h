#pragma once

// The command line of `ostrivane --serve`, read through its table of options;
// the lists, servers, time-out and history are --check's own rows.

#include <string>
#include <variant>
#include <vector>

#include "check/check_options.h"
#include "serve/exporter.h"
#include "serve/serve_loop.h"

namespace ostrivane {

struct ServeOptions {
    ServeSettings settings;
    ProbeLimits probeLimits;
    CheckOptions check;  // the targets, lists, servers, time-out and history of every check
    bool help = false;
};

struct ServeUsageError {
    std::string message;
};

// The arguments after "--serve": [[ADDRESS]:PORT], then options.
std::variant<ServeOptions, ServeUsageError> parseServeOptions(const std::vector<std::string>& args);

// The usage text of the exporter.
std::string serveUsageText();

}  // namespace ostrivane
