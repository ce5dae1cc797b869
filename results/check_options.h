#pragma once

// What `ostrivane --check` was asked to do (app/ reads it from the command
// line).

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "results/threshold_range.h"

namespace ostrivane {

// OpenMetrics is written by app/ through metrics/, which knows the metric names.
enum class CheckFormat { Text, Json, Nagios, OpenMetrics };

inline constexpr int kDefaultKeepDays = 400;

struct CheckOptions {
    std::vector<std::string> targets;      // as given, syntax checked; "-" reads standard input
    std::vector<std::string> zones;        // --zone, in order, each once
    std::vector<std::string> domainZones;  // --domain-zone: domain lists, in order, each once
    int spfWidestIPv4 = 20;   // --spf-widest-ipv4: wider SPF blocks are named, not checked
    int spfWidestIPv6 = 116;  // --spf-widest-ipv6
    std::optional<std::filesystem::path> listFile;    // --list
    std::optional<std::filesystem::path> configFile;  // --config
    std::chrono::milliseconds timeout{2000};
    std::vector<std::string> servers;  // --server, as "ADDRESS:PORT" / "[IPv6]:PORT"
    CheckFormat format = CheckFormat::Text;
    bool quiet = false;
    // nagios: the listings' count in the Monitoring Plugins' range syntax;
    // outside the range (inside with @) the state is WARNING or CRITICAL.
    // By default no warning, and any listing is CRITICAL.
    std::optional<ThresholdRange> warning;
    ThresholdRange critical{0.0, 0.0, false, "0"};
    bool help = false;

    // The history of past runs (kept by a store outside this folder).
    std::optional<std::filesystem::path> historyFile;
    bool noHistory = false;
    bool changes = false;  // print only what changed since the previous run
    std::optional<std::filesystem::path> page;
    std::optional<std::filesystem::path> output;  // --output: the output replaces this file
    int keepDays = kDefaultKeepDays;
    // Fewer addresses than a check takes at most (a probe of the exporter):
    // beyond them nothing is asked.
    std::optional<std::size_t> addressLimit;
};

}  // namespace ostrivane
