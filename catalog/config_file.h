#pragma once

// The config file: what a cron or Nagios line should not have to repeat.
//
//   lists = ["spamhaus-zen", "spamcop", "bl.example.net"]   # ids or zones
//   servers = ["127.0.0.1:53"]
//   timeout = 5                                             # seconds
//   [history]  file = "…", days = 400
//   [nagios]   warning = "1", critical = "1"
//   [keys]     spamhaus = "…"                               # by provider
//   [[list]]   lists of one's own, or changes to the catalog's, as in lists.d
//   targets = ["192.0.2.25", "mail:example.org"]           # what --serve checks
//   interval = 900                                          # --serve: seconds between checks
//
// Read from /etc/ostrivane/ostrivane.toml, then $XDG_CONFIG_HOME/ostrivane/
// ostrivane.toml (~/.config when XDG_CONFIG_HOME is unset), the later file's
// settings over the earlier's; or from the one file given with --config.

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "catalog/catalog_file.h"
#include "catalog/key_zone.h"

namespace ostrivane {

// The exporter checks at most this often (seconds): lists' answers live for
// minutes, and checking more often only adds load on the lists.
inline constexpr int kShortestServeInterval = 60;

// A text of the config with the place it was read from, for a reader that can
// only judge it later (a target is read by the check library) and must then
// name the file and line.
struct PlacedText {
    std::string text;
    std::string file;
    int line = 0;
};

struct Config {
    std::optional<std::vector<std::string>> lists;
    std::vector<PlacedText> listPlaces;  // `lists` with the file and line of each
    std::vector<PlacedText> keyPlaces;   // each [keys] provider, with its file and line
    std::vector<std::string> servers;
    std::optional<double> timeoutSeconds;
    std::optional<std::filesystem::path> historyFile;
    std::optional<int> historyDays;
    std::optional<std::string> warning;
    std::optional<std::string> critical;
    ProviderKeys keys;
    std::optional<std::vector<PlacedText>> targets;  // --serve's targets
    std::optional<int> intervalSeconds;              // --serve's interval
    // The files read, in order: their [[list]] entries go to the catalog after
    // the drop-ins of lists.d.
    std::vector<CatalogSource> sources;
    // Said on standard error as "warning:" lines, never fatal: a file holding
    // keys that others may read.
    std::vector<std::string> problems;
};

// Reads the settings of one file's text over `config`.
std::optional<CatalogProblem> applyConfigText(const CatalogSource& source, Config& config);

// The config files that apply when --config is not given, in the order read.
std::vector<std::filesystem::path> configSearchPath();

// Reads --config's file, or else each file of configSearchPath() that exists.
// A file named with --config must exist; any file that exists must be read.
std::variant<Config, CatalogProblem> loadConfig(
    const std::optional<std::filesystem::path>& explicitFile);

// The catalog with the config's [[list]] entries over it. A name in `lists`
// without a dot that is no id of the catalog (a mistyped id, which would
// otherwise be asked as a zone) and a [keys] provider that no list of the
// catalog has are problems at their line; a name with a dot is a zone.
std::variant<Catalog, CatalogProblem> loadCatalogWith(const Config& config);

// The config's names checked against the catalog, as loadCatalogWith does.
std::optional<CatalogProblem> checkConfigNames(const Catalog& catalog, const Config& config);

// The keys of the config with the environment's over them; a problem names the
// place a key came from (never the key) when it is not one DNS label.
std::variant<ProviderKeys, CatalogProblem> resolveKeys(const Catalog& catalog,
                                                       const Config& config);

}  // namespace ostrivane
