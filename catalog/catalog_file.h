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

// Where the catalog lives: ../share/ostrivane/catalog.toml from the program's
// folder (/usr/share/ostrivane for /usr/bin/ostrivane; the build copies it
// there too), else /usr/share/ostrivane/catalog.toml.
std::filesystem::path shippedCatalogPath();

// The shipped catalog as it was built into the program: read when no catalog
// file is where shippedCatalogPath() looks (a copy of the program on its own).
std::string_view builtInCatalogText();

// /etc/ostrivane, or $OSTRIVANE_CONFIG_DIR when set (for tests and for
// packagers who move it).
std::filesystem::path configFolder();

// The shipped catalog (the built-in one when the file does not exist), every
// *.toml of `dropInFolder` in name order (a missing folder has no drop-ins),
// then `more` (the config files).
std::variant<Catalog, CatalogProblem> loadCatalog(const std::filesystem::path& shipped,
                                                  const std::filesystem::path& dropInFolder,
                                                  std::vector<CatalogSource> more = {});

// The program's catalog: shippedCatalogPath() and configFolder()/lists.d.
std::variant<Catalog, CatalogProblem> loadInstalledCatalog();

}  // namespace ostrivane
