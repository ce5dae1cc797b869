#pragma once

// Every option mode (--check, --check-zones, --timeline, and those to come)
// reads its arguments through one table of rows, with CLI11 underneath.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrivane {

// What reading an argument found wrong with it, in the user's words; nothing
// when it is fine.
using OptionProblem = std::optional<std::string>;
using ReadValue = std::function<OptionProblem(const std::string& value)>;

struct OptionRow {
    std::string names;  // CLI11's spelling: "--zone", or "-h,--help"
    bool takesValue;    // "--name VALUE" or "--name=VALUE"; else a flag
    ReadValue read;     // a flag is read with an empty value
};

// How a mode words the problems of the command line's shape; each is given the
// argument as it stands ("--quiet=yes" for a flag given a value).
struct OptionWords {
    std::function<std::string(const std::string& option)> unknown;
    std::function<std::string(const std::string& option)> needsValue;
    std::function<std::string(const std::string& option)> takesNoValue;
    bool doubleDashEndsOptions = true;  // else "--" is an unknown option
};

// Reads `args` in order: each option through its row, every other argument
// through `positional`. Reading goes on after a problem, so that every option
// given is read, and the first problem in the order of the arguments is
// returned. A value is taken as it stands, even when it begins with "-".
OptionProblem readOptions(const std::vector<std::string>& args, const std::vector<OptionRow>& rows,
                          const ReadValue& positional, const OptionWords& words);

}  // namespace ostrivane
