// Reading a list's facts beside its zone and codes: its extra test points,
// its units, its access and removal facts and the sources of its fields.

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "catalog/toml_fields.h"

namespace ostrivane::toml_fields {

namespace {

constexpr std::array<std::pair<std::string_view, AccessNeed>, 4> kNeeds{
    {{"nothing", AccessNeed::Nothing},
     {"registration", AccessNeed::Registration},
     {"account", AccessNeed::Account},
     {"key", AccessNeed::Key}}};
constexpr std::array<std::pair<std::string_view, RemovalWay>, 5> kWays{
    {{"expires", RemovalWay::Expires},
     {"form", RemovalWay::Form},
     {"request", RemovalWay::Request},
     {"contact", RemovalWay::Contact},
     {"account", RemovalWay::Account}}};

// An inline table's fields, each checked against the keys it may hold.
template <std::size_t N>
std::variant<ListFields, CatalogProblem> tableFields(const toml::node& node, std::string_view what,
                                                     const std::array<std::string_view, N>& keys) {
    const auto* table = node.as_table();
    if (table == nullptr) {
        return problemAt(node, std::string(what) + " must be a table { … }");
    }
    ListFields fields{table, {}};
    for (const auto& [key, value] : *table) {
        if (std::find(keys.begin(), keys.end(), key.str()) == keys.end()) {
            return problemAt(
                value, "unknown field \"" + std::string(key.str()) + "\" in " + std::string(what));
        }
        fields.fields[std::string(key.str())] = &value;
    }
    return fields;
}

Problem readUnits(const ListFields& entry, CatalogList& list) {
    const toml::node* node = field(entry, "units");
    if (node == nullptr) {
        return std::nullopt;
    }
    auto units = tableFields(*node, "\"units\"", std::array<std::string_view, 2>{"ipv4", "ipv6"});
    if (auto* problem = std::get_if<CatalogProblem>(&units)) {
        return *problem;
    }
    const auto& fields = std::get<ListFields>(units);
    for (auto [key, kind, widest, out] :
         {std::tuple{"ipv4", ListKind::IPv4, 32, &list.units.ipv4},
          std::tuple{"ipv6", ListKind::IPv6, 128, &list.units.ipv6}}) {
        std::optional<int> unit;
        if (auto problem = readNumber(fields, key, 1, widest, unit)) {
            return problem;
        }
        if (unit && !list.lists(kind)) {
            return problemAt(*field(fields, key),
                             "a unit for " + std::string(key) + ", which the list does not list");
        }
        *out = unit.value_or(*out);
    }
    return std::nullopt;
}

Problem readByDesign(const ListFields& entry, CatalogList& list) {
    auto readOne = [&list](const toml::node& item, TestPointByDesign& designed) -> Problem {
        auto read = tableFields(item, "a test point by design",
                                std::array<std::string_view, 2>{"point", "answer"});
        if (auto* problem = std::get_if<CatalogProblem>(&read)) {
            return *problem;
        }
        const auto& fields = std::get<ListFields>(read);
        std::string answer;
        for (auto [key, out] :
             {std::pair{"point", &designed.point}, std::pair{"answer", &answer}}) {
            if (auto problem = readText(fields, key, *out, true)) {
                return problem;
            }
        }
        const auto code = parseAnswerCode(answer);
        if (!code || (*code >> 24) != 127 || !list.lists(testPointKind(designed.point))) {
            return problemAt(item,
                             "a test point by design is a point of a kind the list lists "
                             "and an answer in 127.0.0.0/8");
        }
        designed.answer = *code;
        return std::nullopt;
    };
    return readEach(entry, "test_by_design", "{ point, answer }", readOne, list.testByDesign);
}

// A list that states no access facts has those its older fields imply.
Problem readAccess(const ListFields& entry, CatalogList& list) {
    list.access.need = list.needsKey ? AccessNeed::Key : AccessNeed::Nothing;
    if (auto problem = readWord(entry, "access", kNeeds, list.access.need)) {
        return problem;
    }
    if (list.refusesPublicResolvers && field(entry, "refuses_networks") == nullptr) {
        list.access.refusedNetworks = {"public resolvers"};
    }
    if (auto problem = readTexts(entry, "refuses_networks", list.access.refusedNetworks)) {
        return problem;
    }
    return readText(entry, "access_notice", list.access.notice, false);
}

Problem readRemoval(const ListFields& entry, CatalogList& list) {
    std::vector<std::string> words;
    if (auto problem = readTexts(entry, "removal_how", words)) {
        return problem;
    }
    for (const auto& word : words) {
        const auto* known = std::find_if(kWays.begin(), kWays.end(),
                                         [&](const auto& way) { return way.first == word; });
        if (known == kWays.end()) {
            return problemAt(*field(entry, "removal_how"),
                             "\"removal_how\" holds \"" + word +
                                 "\"; ways are \"expires\", \"form\", \"request\", \"contact\", "
                                 "\"account\"");
        }
        list.removalFacts.ways.push_back(known->second);
    }
    if (auto problem =
            readNumber(entry, "removal_hours", 1, 24 * 365, list.removalFacts.expectedHours)) {
        return problem;
    }
    return readText(entry, "removal_note", list.removalFacts.note, false);
}

Problem readSource(const toml::node& item, FieldSource& source) {
    auto read = tableFields(item, "a source",
                            std::array<std::string_view, 4>{"fields", "url", "reviewed", "note"});
    if (auto* problem = std::get_if<CatalogProblem>(&read)) {
        return *problem;
    }
    const auto& fields = std::get<ListFields>(read);
    if (auto problem = readTexts(fields, "fields", source.fields)) {
        return problem;
    }
    for (const auto& name : source.fields) {
        if (!isListKey(name) || !isSourcedField(name)) {
            return problemAt(*field(fields, "fields"),
                             "a source names \"" + name + "\", which is no field with a source");
        }
    }
    if (source.fields.empty() || field(fields, "reviewed") == nullptr) {
        return problemAt(item, "a source needs \"fields\", \"url\" and \"reviewed\"");
    }
    auto reviewed = dateText(*field(fields, "reviewed"));
    if (!reviewed) {
        return problemAt(*field(fields, "reviewed"), "\"reviewed\" must be a date, YYYY-MM-DD");
    }
    source.reviewed = *reviewed;
    if (auto problem = readText(fields, "url", source.url, true)) {
        return problem;
    }
    return readText(fields, "note", source.note, false);
}

Problem readSources(const ListFields& entry, CatalogList& list) {
    return readEach(entry, "sources", "{ fields, url, reviewed }", readSource, list.sources);
}

}  // namespace

std::optional<std::string> dateText(const toml::node& node) {
    if (const auto* date = node.as_date()) {
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", int(date->get().year),
                      int(date->get().month), int(date->get().day));
        return text;
    }
    auto text = node.value_exact<std::string>();
    const bool shaped = text && text->size() == 10 && (*text)[4] == '-' && (*text)[7] == '-';
    return shaped ? text : std::nullopt;
}

Problem readFacts(const ListFields& entry, CatalogList& list) {
    Problem problem = readTexts(entry, "test_extra", list.testExtra);
    if (!problem)
        problem = readByDesign(entry, list);
    if (!problem)
        problem = readUnits(entry, list);
    if (!problem)
        problem = readAccess(entry, list);
    if (!problem)
        problem = readRemoval(entry, list);
    if (!problem)
        problem = readSources(entry, list);
    return problem;
}

}  // namespace ostrivane::toml_fields
