#pragma once

// The command line of `ostrivane --serve`, read through its table of options,
// and its usage, printed from the same table; the lists, servers, time-out and
// history are the rows it shares with --check (app/shared_options.h).

#include <string>
#include <variant>
#include <vector>

#include "catalog/config_file.h"
#include "results/check_options.h"
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

// The arguments after "--serve": [[ADDRESS]:PORT], then options; read alone,
// to learn --config and --help before the config file is read. Targets may
// still be missing: the config file may name them.
std::variant<ServeOptions, ServeUsageError> readServeCommandLine(
    const std::vector<std::string>& args);

// The arguments over the config file's settings: an option given on the
// command line wins; the config's targets and servers count when the command
// line names none. A bad target of the config names its file and line.
std::variant<ServeOptions, ServeUsageError> parseServeOptions(const std::vector<std::string>& args,
                                                              const Config& config = {});

// The usage text of the exporter.
std::string serveUsageText();

}  // namespace ostrivane
