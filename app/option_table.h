#pragma once

// Every option mode (--check, --check-zones, --serve, --timeline, --lists)
// has one table of option rows: the table reads the arguments, and the same
// rows, with their words, make the mode's usage.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ostrivane {

// What reading an argument found wrong with it, in the user's words; nothing
// when it is fine.
using OptionProblem = std::optional<std::string>;
using ReadValue = std::function<OptionProblem(const std::string& value)>;

struct OptionRow {
    // As the usage shows them: "--zone", "-t, --timeout"; a name that does not
    // begin with "-" ("TARGET") is the row of the arguments that are no option.
    std::string names;
    std::string value = {};    // the value's name in the usage ("ZONE"); empty for a flag
    std::string help = {};     // the row's words in the usage, its lines apart; none: not shown
    ReadValue read = {};       // a flag is read with an empty value
    bool endsReading = false;  // what follows it is not read (--timeline's --help)
};

// The last of a row's names, the one its messages use: "--timeout".
std::string optionName(const OptionRow& row);

// A heading ("Options:"; none when empty) and the rows under it.
struct OptionSection {
    std::string heading;
    std::vector<OptionRow> rows;
};

using OptionTable = std::vector<OptionSection>;

// How a mode words the problems of the command line's shape; each is given the
// argument as it stands ("--quiet=yes" for a flag given a value).
struct OptionWords {
    std::function<std::string(const std::string& option)> unknown;
    std::function<std::string(const std::string& option)> needsValue;
    std::function<std::string(const std::string& option)> takesNoValue;
    bool doubleDashEndsOptions = true;  // else "--" is an unknown option
};

// Reads `args` in order, each option through its row ("--name VALUE",
// "--name=VALUE", "-nVALUE"), every other argument through the table's row
// that is no option. Reading goes on after a problem, so that every option
// given is read, and the first problem in the order of the arguments is
// returned. A value is taken as it stands, even when it begins with "-".
OptionProblem readOptions(const std::vector<std::string>& args, const OptionTable& table,
                          const OptionWords& words);

// The table as a usage shows it: each section's heading, then each row with
// words, its names and value in one column and its words in the next.
std::string optionUsage(const OptionTable& table);

}  // namespace ostrivane
