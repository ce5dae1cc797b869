#pragma once

// The command line of `ostrivane --check`.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ostrivane {

enum class CheckFormat { Text, Json, Nagios };

inline constexpr int kDefaultKeepDays = 400;

struct CheckOptions {
    std::vector<std::string> targets;  // as given, syntax checked; "-" reads standard input
    std::vector<std::string> zones;    // --zone, in order, each once
    std::optional<std::filesystem::path> listFile;    // --list
    std::optional<std::filesystem::path> configFile;  // --config
    std::chrono::milliseconds timeout{2000};
    std::vector<std::string> servers;  // --server, as "ADDRESS:PORT" / "[IPv6]:PORT"
    CheckFormat format = CheckFormat::Text;
    bool quiet = false;
    int warning = 1;   // nagios: WARNING from this many listings
    int critical = 1;  // nagios: CRITICAL from this many listings
    bool help = false;

    // The history of past runs (kept by a store outside this folder).
    std::optional<std::filesystem::path> historyFile;
    bool noHistory = false;
    bool changes = false;  // print only what changed since the previous run
    std::optional<std::filesystem::path> page;
    int keepDays = kDefaultKeepDays;
};

// Names the option or target and says what is wrong with it.
struct CheckUsageError {
    std::string message;
};

// The arguments after "--check". Options may be given as "--name VALUE" or
// "--name=VALUE"; "--" ends the options.
std::variant<CheckOptions, CheckUsageError> parseCheckOptions(const std::vector<std::string>& args);

// A --server value as c-ares takes it ("192.0.2.1:53", "[2001:db8::1]:53"),
// the port defaulting to 53; nothing when the value is not ADDRESS[:PORT].
std::optional<std::string> normalizeServer(std::string_view text);

// The usage text of the check mode.
std::string checkUsageText();

}  // namespace ostrivane
