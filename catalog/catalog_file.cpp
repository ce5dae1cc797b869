#include "catalog/catalog_file.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <system_error>

#include "catalog/toml_fields.h"
#include "persist/executable_dir.h"
#include "persist/read_file.h"

namespace ostrivane {

using toml_fields::ListFields;

std::string CatalogProblem::message() const {
    if (line > 0) {
        return file + ": line " + std::to_string(line) + ": " + problem;
    }
    return file + ": " + problem;
}

namespace {

std::optional<CatalogProblem> reviewedDateOf(const toml::table& file, const CatalogSource& source,
                                             std::string& reviewed) {
    const toml::node* node = file.get("reviewed");
    if (node == nullptr) {
        return CatalogProblem{source.name, 0, "the catalog has no \"reviewed\" date"};
    }
    const auto date = toml_fields::dateText(*node);
    if (!date) {
        return toml_fields::problemAt(*node, "\"reviewed\" must be a date, YYYY-MM-DD");
    }
    reviewed = *date;
    return std::nullopt;
}

}  // namespace

std::variant<Catalog, CatalogProblem> parseCatalog(const std::vector<CatalogSource>& sources) {
    std::vector<toml::table> files;
    files.reserve(sources.size());
    for (const auto& source : sources) {
        auto parsed = toml_fields::parseToml(source);
        if (auto* problem = std::get_if<CatalogProblem>(&parsed)) {
            return *problem;
        }
        files.push_back(std::move(std::get<toml::table>(parsed)));
    }
    std::string reviewed;
    if (sources.empty()) {
        return CatalogProblem{"catalog", 0, "no catalog file"};
    }
    if (auto problem = reviewedDateOf(files.front(), sources.front(), reviewed)) {
        return *problem;
    }
    toml_fields::ListEntries entries;
    for (const auto& file : files) {
        if (auto problem = toml_fields::mergeListEntries(file, entries)) {
            return *problem;
        }
    }
    std::vector<CatalogList> lists;
    lists.reserve(entries.lists.size());
    for (const auto& entry : entries.lists) {
        auto list = toml_fields::listOf(entry);
        if (auto* problem = std::get_if<CatalogProblem>(&list)) {
            return *problem;
        }
        lists.push_back(std::move(std::get<CatalogList>(list)));
    }
    return Catalog(std::move(reviewed), std::move(lists));
}

std::variant<CatalogSource, CatalogProblem> readCatalogSource(const std::filesystem::path& path) {
    constexpr std::uintmax_t kLimit = 4 * 1024 * 1024;
    auto read = readWholeFile(path, kLimit);
    if (auto* problem = std::get_if<FileProblem>(&read)) {
        return CatalogProblem{path.string(), 0, problem->reason};
    }
    if (std::holds_alternative<FileTooLarge>(read)) {
        return CatalogProblem{path.string(), 0, "larger than 4 MB"};
    }
    return CatalogSource{path.string(), std::move(std::get<std::string>(read))};
}

std::filesystem::path shippedCatalogPath() {
    const auto exeDir = executableDirectory();
    std::error_code error;
    const auto beside = exeDir / ".." / "share" / "ostrivane" / "catalog.toml";
    if (!exeDir.empty() && std::filesystem::exists(beside, error)) {
        return beside.lexically_normal();
    }
    return "/usr/share/ostrivane/catalog.toml";
}

std::filesystem::path configFolder() {
    const char* override = std::getenv("OSTRIVANE_CONFIG_DIR");
    return override != nullptr && *override ? std::filesystem::path(override)
                                            : std::filesystem::path("/etc/ostrivane");
}

std::variant<Catalog, CatalogProblem> loadCatalog(const std::filesystem::path& shipped,
                                                  const std::filesystem::path& dropInFolder,
                                                  std::vector<CatalogSource> more) {
    std::vector<std::filesystem::path> paths;
    std::vector<CatalogSource> sources;
    std::error_code missing;
    if (std::filesystem::exists(shipped, missing) || missing) {
        paths.push_back(shipped);
    } else {
        sources.push_back(
            {"(the catalog built into the program)", std::string(builtInCatalogText())});
    }
    std::error_code error;
    if (std::filesystem::is_directory(dropInFolder, missing)) {
        std::vector<std::filesystem::path> dropIns;
        for (const auto& item : std::filesystem::directory_iterator(dropInFolder, error)) {
            if (item.path().extension() == ".toml") {
                dropIns.push_back(item.path());
            }
        }
        std::sort(dropIns.begin(), dropIns.end());
        paths.insert(paths.end(), dropIns.begin(), dropIns.end());
    }
    if (error) {
        return CatalogProblem{dropInFolder.string(), 0, error.message()};
    }
    for (const auto& path : paths) {
        auto source = readCatalogSource(path);
        if (auto* problem = std::get_if<CatalogProblem>(&source)) {
            return *problem;
        }
        sources.push_back(std::move(std::get<CatalogSource>(source)));
    }
    std::move(more.begin(), more.end(), std::back_inserter(sources));
    return parseCatalog(sources);
}

std::variant<Catalog, CatalogProblem> loadInstalledCatalog() {
    return loadCatalog(shippedCatalogPath(), configFolder() / "lists.d");
}

}  // namespace ostrivane
