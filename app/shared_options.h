#pragma once

// The option rows that several modes share, each with its words for the
// usage, and the readers of their values.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/option_table.h"

namespace ostrivane {

// A --server value as c-ares takes it ("192.0.2.1:53", "[2001:db8::1]:53"),
// the port defaulting to 53; nothing when the value is not ADDRESS[:PORT].
std::optional<std::string> normalizeServer(std::string_view text);

// Digits only, within int; nothing else.
std::optional<int> parseWholeNumber(std::string_view text);

// --check, --check-zones and --serve word the shape of the command line alike.
OptionWords sharedOptionWords();

// Rows that --check shares with --serve, --check-zones or --lists: the same
// names, words and messages wherever they appear.
OptionRow zoneRow(std::vector<std::string>& into);
OptionRow listRow(std::optional<std::filesystem::path>& into);
OptionRow configRow(std::optional<std::filesystem::path>& into);
OptionRow serverRow(std::vector<std::string>& into);
OptionRow timeoutRow(std::chrono::milliseconds& into);  // its default is `into` as given
OptionRow historyRow(std::optional<std::filesystem::path>& into);
OptionRow noHistoryRow(bool& into);
OptionRow keepDaysRow(int& into);
OptionRow textOrJsonRow(bool& json);
OptionRow helpRow(bool& into);

// A row's reading, for the names and words of `row`: the messages name
// optionName(row).
OptionRow flagRow(OptionRow row, bool& into);
OptionRow pathRow(OptionRow row, std::string what, std::optional<std::filesystem::path>& into);
OptionRow wholeNumberRow(OptionRow row, std::string what, int& into);
OptionRow zoneNameRow(OptionRow row, std::vector<std::string>& into);  // each zone once

}  // namespace ostrivane
