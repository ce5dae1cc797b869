#include "app/catalog_setup.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "app/shared_options.h"

namespace ostrivane {

std::variant<CatalogSetup, std::string> loadCatalogSetup(
    const std::optional<std::filesystem::path>& configFile, std::ostream& err) {
    auto config = loadConfig(configFile);
    if (auto* problem = std::get_if<CatalogProblem>(&config)) {
        return problem->message();
    }
    CatalogSetup setup;
    setup.config = std::move(std::get<Config>(config));
    for (const auto& problem : setup.config.problems) {
        err << "ostrivane: warning: " << problem << '\n';
    }
    auto catalog = loadCatalogWith(setup.config);
    if (auto* problem = std::get_if<CatalogProblem>(&catalog)) {
        return problem->message();
    }
    setup.catalog = std::move(std::get<Catalog>(catalog));
    auto keys = resolveKeys(setup.catalog, setup.config);
    if (auto* problem = std::get_if<CatalogProblem>(&keys)) {
        return problem->message();
    }
    setup.keys = std::move(std::get<ProviderKeys>(keys));
    return setup;
}

std::vector<std::string> withConfigArguments(const Config& config, ConfigMode mode,
                                             const std::vector<std::string>& commandLine) {
    const auto optionsEnd = std::find(commandLine.begin(), commandLine.end(), "--");
    const bool noHistory = std::find(commandLine.begin(), optionsEnd, "--no-history") != optionsEnd;
    std::vector<std::string> args;
    if (config.timeoutSeconds) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", *config.timeoutSeconds);
        args.insert(args.end(), {"--timeout", text});
    }
    if (config.historyFile && !noHistory) {
        args.insert(args.end(), {"--history", config.historyFile->string()});
    }
    if (config.historyDays) {
        args.insert(args.end(), {"--keep-days", std::to_string(*config.historyDays)});
    }
    if (mode == ConfigMode::Serve && config.intervalSeconds) {
        args.insert(args.end(), {"--interval", std::to_string(*config.intervalSeconds)});
    }
    if (mode == ConfigMode::Check && config.warning) {
        args.insert(args.end(), {"--warning", *config.warning});
    }
    if (mode == ConfigMode::Check && config.critical) {
        args.insert(args.end(), {"--critical", *config.critical});
    }
    args.insert(args.end(), commandLine.begin(), commandLine.end());
    return args;
}

std::optional<std::string> addConfigServers(const Config& config,
                                            std::vector<std::string>& servers) {
    for (const auto& server : config.servers) {
        const auto normalized = normalizeServer(server);
        if (!normalized) {
            return "servers in the config file: \"" + server + "\" is not ADDRESS[:PORT]";
        }
        servers.push_back(*normalized);
    }
    return std::nullopt;
}

}  // namespace ostrivane
