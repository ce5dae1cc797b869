#pragma once

// The catalog's and the config file's fields as TOML nodes, with the file and
// the line each came from, so that every problem can name both. Private to
// the catalog library.

#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <toml++/toml.h>

#include "catalog/catalog.h"
#include "catalog/catalog_file.h"

namespace ostrivane::toml_fields {

// The problem at a node: its file and line.
CatalogProblem problemAt(const toml::node& node, std::string problem);

// A [[list]] entry as the fields that make it, each from the file that set it
// last (the shipped catalog, then the drop-ins), and the table that began it.
struct ListFields {
    const toml::table* origin = nullptr;
    std::map<std::string, const toml::node*, std::less<>> fields;
};

// Adds the [[list]] entries of a parsed file to `entries`: a known id has the
// fields it sets replaced, a new id is appended.
std::optional<CatalogProblem> mergeListEntries(const toml::table& file,
                                               std::vector<ListFields>& entries);

std::variant<CatalogList, CatalogProblem> listOf(const ListFields& entry);

// Parses a file's text; a syntax error names the file and its line.
std::variant<toml::table, CatalogProblem> parseToml(const CatalogSource& source);

}  // namespace ostrivane::toml_fields
