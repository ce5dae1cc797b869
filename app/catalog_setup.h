#pragma once

// What every mode that asks lists reads before it asks: the config file, the
// catalog with its drop-ins and the config's own lists, and the keys.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/config_file.h"
#include "check/catalog_lists.h"

namespace ostrivane {

struct CatalogSetup {
    Config config;
    Catalog catalog;
    ProviderKeys keys;

    CatalogUse use() const { return {&catalog, keys, config.lists}; }
};

// Reads the config (--config's file, or the usual ones) and the catalog; the
// config's problems go to `err`. A file that cannot be read or has a fault: its
// message (file, line, problem), for the caller to end with status 3.
std::variant<CatalogSetup, std::string> loadCatalogSetup(
    const std::optional<std::filesystem::path>& configFile, std::ostream& err);

// The modes that take options from the config file: the Nagios thresholds are
// --check's, the interval is the exporter's.
enum class ConfigMode { Check, Serve };

// The command line with the config's settings as the options they stand for
// before it, so that the command line wins; the config's history file is left
// out when the command line says --no-history. Servers and targets are not
// among them: --server and --target add to a list, so the caller takes the
// config's only when the command line names none.
std::vector<std::string> withConfigArguments(const Config& config, ConfigMode mode,
                                             const std::vector<std::string>& args);

// The config's servers as --server takes them, for a command line that named
// none; a server that is not ADDRESS[:PORT] is the problem.
std::optional<std::string> addConfigServers(const Config& config,
                                            std::vector<std::string>& servers);

}  // namespace ostrivane
