#pragma once

// The command line of `ostrivane --check`, read through its table of options,
// and its usage, printed from the same table.

#include <string>
#include <variant>
#include <vector>

#include "results/check_options.h"

namespace ostrivane {

// Names the option or target and says what is wrong with it.
struct CheckUsageError {
    std::string message;
    bool nagios = false;  // --format nagios was read: a monitor needs its UNKNOWN line
};

// The arguments after "--check". Options may be given as "--name VALUE" or
// "--name=VALUE"; "--" ends the options.
std::variant<CheckOptions, CheckUsageError> parseCheckOptions(const std::vector<std::string>& args);

// The usage text of the check mode.
std::string checkUsageText();

}  // namespace ostrivane
