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
// config's warnings go to `err`. A file that cannot be read or has a fault: its
// message (file, line, problem), for the caller to end with status 3.
std::variant<CatalogSetup, std::string> loadCatalogSetup(
    const std::optional<std::filesystem::path>& configFile, std::ostream& err);

// The config's settings as the options they stand for, to go before the
// command line's own so that the command line wins. Servers are not among
// them: --server adds to a list, so the caller takes the config's servers only
// when the command line names none.
std::vector<std::string> configArguments(const Config& config);

}  // namespace ostrivane
