#pragma once

// The catalog's and the config file's fields as TOML nodes, with the file and
// the line each came from, so that every problem can name both. Private to
// the catalog library.

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <toml++/toml.h>

#include "catalog/catalog.h"
#include "catalog/catalog_file.h"

namespace ostrivane::toml_fields {

using Problem = std::optional<CatalogProblem>;

// The problem at a node: its file and line.
CatalogProblem problemAt(const toml::node& node, std::string problem);

// A [[list]] entry as the fields that make it, each from the file that set it
// last (the shipped catalog, then the drop-ins), and the table that began it.
struct ListFields {
    const toml::table* origin = nullptr;
    std::map<std::string, const toml::node*, std::less<>> fields;
};

// The entries read so far, in order, with each id's place: a catalog of tens
// of thousands of lists is merged in one pass.
struct ListEntries {
    std::vector<ListFields> lists;
    std::map<std::string, std::size_t, std::less<>> byId;
};

// Adds the [[list]] entries of a parsed file to `entries`: a known id has the
// fields it sets replaced, a new id is appended. One file may name an id once.
Problem mergeListEntries(const toml::table& file, ListEntries& entries);

std::variant<CatalogList, CatalogProblem> listOf(const ListFields& entry);

// The facts beside the zone and the codes (list_facts.h): test_extra,
// test_by_design, units, access, refuses_networks, access_notice, removal_how,
// removal_hours, removal_note and sources.
Problem readFacts(const ListFields& entry, CatalogList& list);

// A date as "YYYY-MM-DD", written as a TOML date or as a text of that shape.
std::optional<std::string> dateText(const toml::node& node);

// Whether `key` is a field of a [[list]] entry.
bool isListKey(std::string_view key);

// Parses a file's text; a syntax error names the file and its line.
std::variant<toml::table, CatalogProblem> parseToml(const CatalogSource& source);

// The readers every field shares. An absent optional field leaves `out` as it is.
const toml::node* field(const ListFields& entry, std::string_view key);
Problem missing(const ListFields& entry, std::string_view key);
Problem readText(const ListFields& entry, std::string_view key, std::string& out, bool required);
Problem readTexts(const ListFields& entry, std::string_view key, std::vector<std::string>& out);
Problem readFlag(const ListFields& entry, std::string_view key, bool& out);
// A whole number from `low` to `high`.
Problem readNumber(const ListFields& entry, std::string_view key, int low, int high,
                   std::optional<int>& out);

// A list of tables, each read by `readOne(item, value)` and appended to `out`;
// `shape` says what the list holds when it is no list.
template <class T, class ReadOne>
Problem readEach(const ListFields& entry, std::string_view key, std::string_view shape,
                 ReadOne readOne, std::vector<T>& out) {
    const toml::node* node = field(entry, key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (!node->is_array()) {
        return problemAt(*node,
                         "\"" + std::string(key) + "\" must be a list of " + std::string(shape));
    }
    for (const auto& item : *node->as_array()) {
        T value;
        if (auto problem = readOne(item, value)) {
            return problem;
        }
        out.push_back(std::move(value));
    }
    return std::nullopt;
}

// A text field that takes one of a few words.
template <class Enum, std::size_t N>
Problem readWord(const ListFields& entry, std::string_view key,
                 const std::array<std::pair<std::string_view, Enum>, N>& words, Enum& out) {
    std::string text;
    if (auto problem = readText(entry, key, text, false); problem || !field(entry, key)) {
        return problem;
    }
    for (const auto& [word, value] : words) {
        if (word == text) {
            out = value;
            return std::nullopt;
        }
    }
    std::string allowed;
    for (const auto& [word, value] : words) {
        allowed += (allowed.empty() ? "\"" : ", \"") + std::string(word) + "\"";
    }
    return problemAt(*field(entry, key), "\"" + std::string(key) + "\" is \"" + text +
                                             "\"; it must be one of " + allowed);
}

}  // namespace ostrivane::toml_fields
