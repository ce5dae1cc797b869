#include "catalog/toml_fields.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <utility>

namespace ostrivane::toml_fields {

namespace {

constexpr std::array kListKeys{
    "id",          "name",          "provider",         "zone",
    "kinds",       "info",          "removal",          "status",
    "default",     "scope",         "free_use",         "refuses_public_resolvers",
    "needs_key",   "key_zone",      "test_listed",      "test_unlisted",
    "answer",      "unconfirmed",   "test_extra",       "test_by_design",
    "units",       "access",        "refuses_networks", "access_notice",
    "removal_how", "removal_hours", "removal_note",     "sources"};

std::string fileOf(const toml::node& node) {
    const auto& path = node.source().path;
    return path ? *path : std::string("catalog");
}

}  // namespace

const toml::node* field(const ListFields& entry, std::string_view key) {
    const auto found = entry.fields.find(key);
    return found == entry.fields.end() ? nullptr : found->second;
}

Problem missing(const ListFields& entry, std::string_view key) {
    return problemAt(*entry.origin, "the list has no \"" + std::string(key) + "\"");
}

Problem readText(const ListFields& entry, std::string_view key, std::string& out, bool required) {
    const toml::node* node = field(entry, key);
    if (node == nullptr) {
        return required ? missing(entry, key) : std::nullopt;
    }
    auto text = node->value<std::string>();
    if (!text || (required && text->empty())) {
        return problemAt(*node, "\"" + std::string(key) + "\" must be a text");
    }
    out = *text;
    return std::nullopt;
}

Problem readFlag(const ListFields& entry, std::string_view key, bool& out) {
    const toml::node* node = field(entry, key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (!node->is_boolean()) {
        return problemAt(*node, "\"" + std::string(key) + "\" must be true or false");
    }
    out = node->as_boolean()->get();
    return std::nullopt;
}

Problem readTexts(const ListFields& entry, std::string_view key, std::vector<std::string>& out) {
    const toml::node* node = field(entry, key);
    if (node == nullptr) {
        return std::nullopt;
    }
    const auto* array = node->as_array();
    if (array == nullptr) {
        return problemAt(*node, "\"" + std::string(key) + "\" must be a list of texts");
    }
    for (const auto& item : *array) {
        auto text = item.value<std::string>();
        if (!text) {
            return problemAt(item, "\"" + std::string(key) + "\" must hold texts only");
        }
        out.push_back(*text);
    }
    return std::nullopt;
}

Problem readNumber(const ListFields& entry, std::string_view key, int low, int high,
                   std::optional<int>& out) {
    const toml::node* node = field(entry, key);
    if (node == nullptr) {
        return std::nullopt;
    }
    const auto number = node->value_exact<std::int64_t>();
    if (!number || *number < low || *number > high) {
        return problemAt(*node, "\"" + std::string(key) + "\" must be a whole number from " +
                                    std::to_string(low) + " to " + std::to_string(high));
    }
    out = static_cast<int>(*number);
    return std::nullopt;
}

namespace {

constexpr std::array<std::pair<std::string_view, ListKind>, 3> kKinds{
    {{"ipv4", ListKind::IPv4}, {"ipv6", ListKind::IPv6}, {"domains", ListKind::Domains}}};
constexpr std::array<std::pair<std::string_view, AnswerClass>, 4> kClasses{
    {{"listing", AnswerClass::Listing},
     {"policy-listing", AnswerClass::PolicyListing},
     {"list-error", AnswerClass::ListError},
     {"reputation", AnswerClass::Reputation}}};
constexpr std::array<std::pair<std::string_view, Reputation>, 3> kReputations{
    {{"poor", Reputation::Poor}, {"neutral", Reputation::Neutral}, {"good", Reputation::Good}}};
constexpr std::array kAnswerKeys{"code",    "bit",        "class",       "meaning",
                                 "refusal", "reputation", "removal_step"};
constexpr std::array<std::pair<std::string_view, ListStatus>, 3> kStatuses{
    {{"alive", ListStatus::Alive}, {"dead", ListStatus::Dead}, {"retired", ListStatus::Retired}}};
constexpr std::array<std::pair<std::string_view, ListScope>, 4> kScopes{
    {{"address", ListScope::Address},
     {"range", ListScope::Range},
     {"network", ListScope::Network},
     {"domain", ListScope::Domain}}};

Problem readKinds(const ListFields& entry, std::vector<ListKind>& kinds) {
    std::vector<std::string> words;
    if (auto problem = readTexts(entry, "kinds", words)) {
        return problem;
    }
    if (field(entry, "kinds") == nullptr || words.empty()) {
        return field(entry, "kinds") == nullptr
                   ? missing(entry, "kinds")
                   : problemAt(*field(entry, "kinds"), "\"kinds\" names no kind");
    }
    for (const auto& word : words) {
        const auto* known = std::find_if(kKinds.begin(), kKinds.end(),
                                         [&](const auto& kind) { return kind.first == word; });
        if (known == kKinds.end()) {
            return problemAt(
                *field(entry, "kinds"),
                "\"kinds\" holds \"" + word + "\"; kinds are \"ipv4\", \"ipv6\", \"domains\"");
        }
        kinds.push_back(known->second);
    }
    return std::nullopt;
}

// "127.0.0.2" or "127.0.0.5-127.0.0.7", within 127.0.0.0/8.
Problem readCodeRange(const toml::node& node, AnswerCode& code) {
    const auto text = node.value<std::string>().value_or("");
    const auto dash = text.find('-');
    const auto first = parseAnswerCode(std::string_view(text).substr(0, dash));
    const auto last = dash == std::string::npos
                          ? first
                          : parseAnswerCode(std::string_view(text).substr(dash + 1));
    if (!first || !last || *last < *first || (*first >> 24) != 127 || (*last >> 24) != 127) {
        return problemAt(node, "answer code \"" + text +
                                   "\" must be an address in 127.0.0.0/8, or a range FIRST-LAST");
    }
    code.first = *first;
    code.last = *last;
    return std::nullopt;
}

// A reputation code names its word, and only a reputation code has one.
Problem readReputationAndStep(const ListFields& answer, AnswerCode& code) {
    Reputation reputation{};
    if (auto problem = readWord(answer, "reputation", kReputations, reputation)) {
        return problem;
    }
    const bool isReputation = code.answerClass == AnswerClass::Reputation;
    if (isReputation != (field(answer, "reputation") != nullptr)) {
        return problemAt(*answer.origin, isReputation
                                             ? "a reputation answer needs \"reputation\": "
                                               "\"poor\", \"neutral\" or \"good\""
                                             : "only a reputation answer has \"reputation\"");
    }
    if (isReputation) {
        code.reputation = reputation;
    }
    return readNumber(answer, "removal_step", 1, 9, code.removalStep);
}

Problem readAnswer(const toml::node& item, AnswerCode& code) {
    const auto* table = item.as_table();
    if (table == nullptr) {
        return problemAt(item, "each answer must be a table { code = …, class = …, meaning = … }");
    }
    ListFields answer{table, {}};
    for (const auto& [key, value] : *table) {
        const auto name = key.str();
        if (std::find(kAnswerKeys.begin(), kAnswerKeys.end(), name) == kAnswerKeys.end()) {
            return problemAt(value, "unknown answer field \"" + std::string(name) + "\"");
        }
        answer.fields[std::string(name)] = &value;
    }
    const toml::node* codeNode = field(answer, "code");
    const toml::node* bitNode = field(answer, "bit");
    if ((codeNode == nullptr) == (bitNode == nullptr)) {
        return problemAt(item, "an answer needs either \"code\" or \"bit\"");
    }
    if (codeNode != nullptr) {
        if (auto problem = readCodeRange(*codeNode, code)) {
            return problem;
        }
    } else {
        const auto bit = bitNode->value<std::int64_t>();
        if (!bit || *bit < 1 || *bit > 255) {
            return problemAt(*bitNode, "\"bit\" must be a number from 1 to 255");
        }
        code.bit = static_cast<std::uint8_t>(*bit);
    }
    if (!field(answer, "class")) {
        return missing(answer, "class");
    }
    if (auto problem = readWord(answer, "class", kClasses, code.answerClass)) {
        return problem;
    }
    if (auto problem = readText(answer, "meaning", code.meaning, true)) {
        return problem;
    }
    if (auto problem = readFlag(answer, "refusal", code.refusal)) {
        return problem;
    }
    return readReputationAndStep(answer, code);
}

Problem readAnswers(const ListFields& entry, std::vector<AnswerCode>& answers) {
    return readEach(entry, "answer", "answers", readAnswer, answers);
}

// Each test point must be of a kind the list lists: a dotted quad for IPv4,
// an address with colons for IPv6, a name for domains.
Problem checkTestPoints(const ListFields& entry, const CatalogList& list) {
    for (const auto* key : {"test_listed", "test_unlisted", "test_extra"}) {
        const auto& points = std::string_view(key) == "test_listed"     ? list.testListed
                             : std::string_view(key) == "test_unlisted" ? list.testUnlisted
                                                                        : list.testExtra;
        for (const auto& point : points) {
            const ListKind kind = testPointKind(point);
            if (!list.lists(kind)) {
                return problemAt(*field(entry, key), "test point \"" + point + "\" is of a kind (" +
                                                         std::string(listKindText(kind)) +
                                                         ") the list does not list");
            }
        }
    }
    return std::nullopt;
}

Problem checkKeyZone(const ListFields& entry, const CatalogList& list) {
    const toml::node* node = field(entry, "key_zone");
    if (node != nullptr) {
        const auto at = list.keyZone.find("{key}");
        if (at == std::string::npos || list.keyZone.find("{key}", at + 1) != std::string::npos) {
            return problemAt(*node, "\"key_zone\" must hold {key} once, where the key label goes");
        }
    }
    if (list.needsKey && list.keyZone.empty()) {
        return problemAt(node ? *node : *entry.origin,
                         "a list that needs a key must have a \"key_zone\"");
    }
    return std::nullopt;
}

// Each of the fields read by `read` into its place, in order, until one has a
// problem.
template <typename Value, typename Read>
Problem readEach(const ListFields& entry,
                 std::initializer_list<std::pair<std::string_view, Value*>> fields, Read read) {
    for (const auto& [key, out] : fields) {
        if (auto problem = read(entry, key, *out)) {
            return problem;
        }
    }
    return std::nullopt;
}

// The first problem of the steps, in their order; the steps after it are not taken.
Problem firstProblem(std::initializer_list<std::function<Problem()>> steps) {
    for (const auto& step : steps) {
        if (auto problem = step()) {
            return problem;
        }
    }
    return std::nullopt;
}

Problem readTextFields(const ListFields& entry, CatalogList& list) {
    for (auto [key, out, required] :
         {std::tuple{"id", &list.id, true}, std::tuple{"zone", &list.zone, true},
          std::tuple{"name", &list.name, false}, std::tuple{"provider", &list.provider, false},
          std::tuple{"info", &list.info, false}, std::tuple{"removal", &list.removal, false},
          std::tuple{"free_use", &list.freeUse, false},
          std::tuple{"key_zone", &list.keyZone, false}}) {
        if (auto problem = readText(entry, key, *out, required)) {
            return problem;
        }
    }
    if (list.name.empty()) {
        list.name = list.id;
    }
    if (list.zone.find_first_of(" \t/\\{}") != std::string::npos) {
        return problemAt(*field(entry, "zone"), "zone \"" + list.zone + "\" is not a DNS name");
    }
    return std::nullopt;
}

}  // namespace

std::variant<CatalogList, CatalogProblem> listOf(const ListFields& entry) {
    CatalogList list;
    const Problem problem = firstProblem({
        [&] { return readTextFields(entry, list); },
        [&] { return readKinds(entry, list.kinds); },
        [&] { return readWord(entry, "status", kStatuses, list.status); },
        [&] { return readWord(entry, "scope", kScopes, list.scope); },
        [&] {
            return readEach<bool>(entry,
                                  {{"default", &list.isDefault},
                                   {"refuses_public_resolvers", &list.refusesPublicResolvers},
                                   {"needs_key", &list.needsKey}},
                                  readFlag);
        },
        [&] {
            return readEach<std::vector<std::string>>(entry,
                                                      {{"test_listed", &list.testListed},
                                                       {"test_unlisted", &list.testUnlisted},
                                                       {"unconfirmed", &list.unconfirmed}},
                                                      readTexts);
        },
        [&] { return readAnswers(entry, list.answers); },
        [&] { return readFacts(entry, list); },
        [&] { return checkTestPoints(entry, list); },
        [&] { return checkKeyZone(entry, list); },
    });
    if (problem) {
        return *problem;
    }
    for (const auto& [key, node] : entry.fields) {
        list.fieldsSet.push_back(key);
    }
    return list;
}

bool isListKey(std::string_view key) {
    return std::find(kListKeys.begin(), kListKeys.end(), key) != kListKeys.end();
}

CatalogProblem problemAt(const toml::node& node, std::string problem) {
    return {fileOf(node), static_cast<int>(node.source().begin.line), std::move(problem)};
}

std::variant<toml::table, CatalogProblem> parseToml(const CatalogSource& source) {
    try {
        return toml::parse(source.text, source.name);
    } catch (const toml::parse_error& error) {
        return CatalogProblem{source.name, static_cast<int>(error.source().begin.line),
                              std::string(error.description())};
    }
}

Problem mergeListEntries(const toml::table& file, ListEntries& entries) {
    const toml::node* lists = file.get("list");
    if (lists == nullptr) {
        return std::nullopt;
    }
    if (!lists->is_array_of_tables()) {
        return problemAt(*lists, "\"list\" must be written as [[list]] entries");
    }
    std::map<std::string, int, std::less<>> linesOfThisFile;
    for (const auto& item : *lists->as_array()) {
        const auto& table = *item.as_table();
        ListFields fresh{&table, {}};
        for (const auto& [key, value] : table) {
            if (!isListKey(key.str())) {
                return problemAt(value, "unknown field \"" + std::string(key.str()) + "\"");
            }
            fresh.fields[std::string(key.str())] = &value;
        }
        std::string id;
        if (auto problem = readText(fresh, "id", id, true)) {
            return problem;
        }
        const int line = static_cast<int>(table.source().begin.line);
        if (const auto [first, added] = linesOfThisFile.emplace(id, line); !added) {
            return problemAt(table,
                             "a second [[list]] with id \"" + id + "\" (the first is at line " +
                                 std::to_string(first->second) + "): a file may name each id once");
        }
        const auto [known, added] = entries.byId.emplace(id, entries.lists.size());
        if (added) {
            entries.lists.push_back(std::move(fresh));
            continue;
        }
        for (auto& [key, value] : fresh.fields) {
            entries.lists[known->second].fields[key] = value;
        }
    }
    return std::nullopt;
}

}  // namespace ostrivane::toml_fields
