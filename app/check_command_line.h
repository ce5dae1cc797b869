#pragma once

// The command line of `ostrivane --check`, read through its table of options,
// and the rows that --check-zones shares with it.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/option_reader.h"
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

// A --server value as c-ares takes it ("192.0.2.1:53", "[2001:db8::1]:53"),
// the port defaulting to 53; nothing when the value is not ADDRESS[:PORT].
std::optional<std::string> normalizeServer(std::string_view text);

// Rows of --check that --check-zones and --serve have too, with the same words.
OptionRow listRow(std::optional<std::filesystem::path>& into);
OptionRow timeoutRow(std::chrono::milliseconds& into);
OptionRow serverRow(std::vector<std::string>& into);
OptionRow zoneRow(std::vector<std::string>& into);
OptionRow flagRow(std::string names, bool& into);
OptionRow pathRow(std::string name, std::string what, std::optional<std::filesystem::path>& into);
OptionRow wholeNumberRow(std::string name, std::string what, int& into);
OptionWords checkOptionWords();

// The usage text of the check mode.
std::string checkUsageText();

}  // namespace ostrivane
