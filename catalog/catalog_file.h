#pragma once

// Reading the catalog: the shipped file, then the drop-ins of lists.d, each
// adding lists or overriding fields of a known one. Every problem names the
// file, the line and what is wrong.

#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "catalog/catalog.h"

namespace ostrivane {

struct CatalogProblem {
    std::string file;
    int line = 0;  // 0: the problem concerns the whole file
    std::string problem;

    // "FILE: line N: PROBLEM", or "FILE: PROBLEM".
    std::string message() const;
};

// A catalog file's text as the parser sees it, with the name errors give.
struct CatalogSource {
    std::string name;
    std::string text;
};

// The shipped catalog followed by drop-ins in order. The first source must
// carry `reviewed`; a drop-in's [[list]] with a known id replaces the fields it
// sets (its `answer` array as a whole), one with a new id must be complete.
std::variant<Catalog, CatalogProblem> parseCatalog(const std::vector<CatalogSource>& sources);

// Reads a file whole; a problem when it cannot be read.
std::variant<CatalogSource, CatalogProblem> readCatalogSource(const std::filesystem::path& path);

// Where the catalog lives: /usr/share/ostrivane/catalog.toml beside an
// installed program (../share/ostrivane from its folder), or data/catalog.toml
// of the source tree for a program run from its build folder.
std::filesystem::path shippedCatalogPath();

// /etc/ostrivane, or $OSTRIVANE_CONFIG_DIR when set (for tests and for
// packagers who move it).
std::filesystem::path configFolder();

// The shipped catalog, every *.toml of `dropInFolder` in name order (a
// missing folder has no drop-ins), then `more` (the config files).
std::variant<Catalog, CatalogProblem> loadCatalog(const std::filesystem::path& shipped,
                                                  const std::filesystem::path& dropInFolder,
                                                  std::vector<CatalogSource> more = {});

// The program's catalog: shippedCatalogPath() and configFolder()/lists.d.
std::variant<Catalog, CatalogProblem> loadInstalledCatalog();

}  // namespace ostrivane
