#include "catalog/config_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "catalog/toml_fields.h"

namespace ostrivane {

using toml_fields::problemAt;

namespace {

using Problem = std::optional<CatalogProblem>;

Problem readTextList(const toml::node& node, std::string_view key, std::vector<std::string>& out) {
    const auto* array = node.as_array();
    if (array == nullptr) {
        return problemAt(node, "\"" + std::string(key) + "\" must be a list of texts, [\"…\", …]");
    }
    out.clear();
    for (const auto& item : *array) {
        auto text = item.value<std::string>();
        if (!text || text->empty()) {
            return problemAt(item, "\"" + std::string(key) + "\" must hold texts only");
        }
        out.push_back(*text);
    }
    return std::nullopt;
}

// A threshold as the plugins' range syntax writes it; a plain number is taken too.
Problem readThreshold(const toml::node& node, std::string_view key,
                      std::optional<std::string>& out) {
    if (auto number = node.value_exact<std::int64_t>()) {
        out = std::to_string(*number);
        return std::nullopt;
    }
    auto text = node.value_exact<std::string>();
    if (!text || text->empty()) {
        return problemAt(node,
                         "\"" + std::string(key) + "\" must be a range such as \"1\" or \"@1:5\"");
    }
    out = *text;
    return std::nullopt;
}

// Each field of the table [name], in order, until one has a problem; a value
// that is no table is one.
template <typename Field>
Problem forEachField(const toml::node& node, const std::string& name, Field&& field) {
    const auto* table = node.as_table();
    if (table == nullptr) {
        return problemAt(node, "\"" + name + "\" must be a table: [" + name + "]");
    }
    for (const auto& [key, value] : *table) {
        if (auto problem = field(key.str(), value)) {
            return problem;
        }
    }
    return std::nullopt;
}

Problem unknownField(const toml::node& value, std::string_view key, const std::string& table) {
    return problemAt(value, "unknown field \"" + std::string(key) + "\" in [" + table + "]");
}

Problem readHistory(const toml::node& node, Config& config) {
    return forEachField(
        node, "history", [&config](std::string_view key, const toml::node& value) -> Problem {
            if (key == "file") {
                auto file = value.value_exact<std::string>();
                if (!file || file->empty()) {
                    return problemAt(value, "history \"file\" must be a path");
                }
                config.historyFile = *file;
            } else if (key == "days") {
                auto days = value.value_exact<std::int64_t>();
                if (!days || *days < 1 || *days > 100000) {
                    return problemAt(value,
                                     "history \"days\" must be a whole number of days, at least 1");
                }
                config.historyDays = static_cast<int>(*days);
            } else {
                return unknownField(value, key, "history");
            }
            return std::nullopt;
        });
}

Problem readNagios(const toml::node& node, Config& config) {
    return forEachField(node, "nagios",
                        [&config](std::string_view key, const toml::node& value) -> Problem {
                            if (key == "warning") {
                                return readThreshold(value, "warning", config.warning);
                            }
                            if (key == "critical") {
                                return readThreshold(value, "critical", config.critical);
                            }
                            return unknownField(value, key, "nagios");
                        });
}

Problem readKeys(const toml::node& node, Config& config) {
    return forEachField(
        node, "keys", [&config](std::string_view key, const toml::node& value) -> Problem {
            auto text = value.value_exact<std::string>();
            // The message names the provider and the line, never the key itself.
            if (!text || !isValidKey(*text)) {
                return problemAt(value, "the key for \"" + std::string(key) +
                                            "\" must be one DNS label: letters, digits and \"-\"");
            }
            config.keys.insert_or_assign(std::string(key), *text);
            const auto place = problemAt(value, {});
            config.keyPlaces.push_back({std::string(key), place.file, place.line});
            return std::nullopt;
        });
}

Problem readTimeout(const toml::node& node, Config& config) {
    auto seconds = node.value<double>();
    if (!seconds || !(*seconds > 0) || *seconds > 3600) {
        return problemAt(node, "\"timeout\" must be a number of seconds above 0");
    }
    config.timeoutSeconds = *seconds;
    return std::nullopt;
}

Problem readLists(const toml::node& node, Config& config) {
    config.lists.emplace();
    if (auto problem = readTextList(node, "lists", *config.lists)) {
        return problem;
    }
    config.listPlaces.clear();
    for (const auto& item : *node.as_array()) {
        const auto place = problemAt(item, {});
        config.listPlaces.push_back({*item.value<std::string>(), place.file, place.line});
    }
    return std::nullopt;
}

Problem readServers(const toml::node& node, Config& config) {
    return readTextList(node, "servers", config.servers);
}

Problem readTargets(const toml::node& node, Config& config) {
    std::vector<std::string> texts;
    if (auto problem = readTextList(node, "targets", texts)) {
        return problem;
    }
    config.targets.emplace();
    for (const auto& item : *node.as_array()) {
        const auto place = problemAt(item, {});
        config.targets->push_back({*item.value<std::string>(), place.file, place.line});
    }
    return std::nullopt;
}

Problem readInterval(const toml::node& node, Config& config) {
    auto seconds = node.value_exact<std::int64_t>();
    if (!seconds || *seconds < kShortestServeInterval || *seconds > 7 * 86400) {
        return problemAt(node, "\"interval\" must be whole seconds, at least " +
                                   std::to_string(kShortestServeInterval) + " and at most a week");
    }
    config.intervalSeconds = static_cast<int>(*seconds);
    return std::nullopt;
}

// The [[list]] entries are read with the catalog.
Problem readNothing(const toml::node& /*node*/, Config& /*config*/) {
    return std::nullopt;
}

struct SettingRow {
    std::string_view key;
    Problem (*read)(const toml::node& value, Config& config);
};

// Every setting of the config file: one row each.
constexpr SettingRow kSettings[] = {
    {"lists", readLists},     {"servers", readServers}, {"timeout", readTimeout},
    {"history", readHistory}, {"nagios", readNagios},   {"keys", readKeys},
    {"list", readNothing},    {"targets", readTargets}, {"interval", readInterval},
};

Problem readSetting(std::string_view key, const toml::node& value, Config& config) {
    for (const auto& row : kSettings) {
        if (row.key == key) {
            return row.read(value, config);
        }
    }
    return problemAt(value, "unknown setting \"" + std::string(key) + "\"");
}

bool othersMayRead(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IROTH) != 0;
}

}  // namespace

std::optional<CatalogProblem> applyConfigText(const CatalogSource& source, Config& config) {
    auto parsed = toml_fields::parseToml(source);
    if (auto* problem = std::get_if<CatalogProblem>(&parsed)) {
        return *problem;
    }
    for (const auto& [key, value] : std::get<toml::table>(parsed)) {
        if (auto problem = readSetting(key.str(), value, config)) {
            return problem;
        }
    }
    config.sources.push_back(source);
    return std::nullopt;
}

std::vector<std::filesystem::path> configSearchPath() {
    std::vector<std::filesystem::path> paths{configFolder() / "ostrivane.toml"};
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && *xdg == '/') {
        paths.push_back(std::filesystem::path(xdg) / "ostrivane" / "ostrivane.toml");
    } else if (home != nullptr && *home == '/') {
        paths.push_back(std::filesystem::path(home) / ".config" / "ostrivane" / "ostrivane.toml");
    }
    // XDG_CONFIG_HOME=/etc (the exporter's unit) names the first file again.
    if (paths.size() == 2 && paths[0].lexically_normal() == paths[1].lexically_normal()) {
        paths.pop_back();
    }
    return paths;
}

std::variant<Config, CatalogProblem> loadConfig(
    const std::optional<std::filesystem::path>& explicitFile) {
    Config config;
    const auto paths = explicitFile ? std::vector{*explicitFile} : configSearchPath();
    for (const auto& path : paths) {
        std::error_code error;
        if (!explicitFile && !std::filesystem::exists(path, error) && !error) {
            continue;
        }
        auto source = readCatalogSource(path);
        if (auto* problem = std::get_if<CatalogProblem>(&source)) {
            return *problem;
        }
        const auto keysBefore = config.keys.size();
        if (auto problem = applyConfigText(std::get<CatalogSource>(source), config)) {
            return *problem;
        }
        if (config.keys.size() > keysBefore && othersMayRead(path)) {
            config.problems.push_back(path.string() +
                                      " holds keys and every user of this machine can read it: "
                                      "chmod o-r " +
                                      path.string());
        }
    }
    return config;
}

namespace {

// The number of one-letter edits from `a` to `b`.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The catalog's id (or provider) nearest to a mistyped one.
std::string nearest(const Catalog& catalog, std::string_view name,
                    std::string CatalogList::*member) {
    const std::string* found = nullptr;
    std::size_t best = 0;
    for (const auto& list : catalog.lists()) {
        const auto distance = editDistance(name, list.*member);
        if (found == nullptr || distance < best) {
            found = &(list.*member);
            best = distance;
        }
    }
    return found != nullptr ? *found : std::string();
}

CatalogProblem problemAtPlace(const PlacedText& place, std::string problem) {
    return {place.file, place.line, std::move(problem)};
}

}  // namespace

std::optional<CatalogProblem> checkConfigNames(const Catalog& catalog, const Config& config) {
    for (const auto& name : config.listPlaces) {
        if (name.text.find('.') == std::string::npos && catalog.findId(name.text) == nullptr) {
            return problemAtPlace(name, "\"" + name.text +
                                            "\" in \"lists\" is no id of the catalog (a zone has "
                                            "a dot); the nearest id is \"" +
                                            nearest(catalog, name.text, &CatalogList::id) + "\"");
        }
    }
    for (const auto& provider : config.keyPlaces) {
        const auto& lists = catalog.lists();
        if (std::none_of(lists.begin(), lists.end(),
                         [&](const CatalogList& list) { return list.provider == provider.text; })) {
            return problemAtPlace(
                provider, "[keys] \"" + provider.text +
                              "\": no list of the catalog has this provider; the nearest "
                              "is \"" +
                              nearest(catalog, provider.text, &CatalogList::provider) + "\"");
        }
    }
    return std::nullopt;
}

std::variant<Catalog, CatalogProblem> loadCatalogWith(const Config& config) {
    auto loaded = loadCatalog(shippedCatalogPath(), configFolder() / "lists.d", config.sources);
    if (const auto* catalog = std::get_if<Catalog>(&loaded)) {
        if (auto problem = checkConfigNames(*catalog, config)) {
            return *problem;
        }
    }
    return loaded;
}

std::variant<ProviderKeys, CatalogProblem> resolveKeys(const Catalog& catalog,
                                                       const Config& config) {
    for (const auto& list : catalog.lists()) {
        const auto variable = keyVariableName(list.provider);
        const char* value = std::getenv(variable.c_str());
        if (!list.keyZone.empty() && value != nullptr && *value && !isValidKey(value)) {
            return CatalogProblem{variable, 0,
                                  "a key must be one DNS label: letters, digits and \"-\""};
        }
    }
    return keysFromEnvironment(catalog, config.keys);
}

}  // namespace ostrivane
