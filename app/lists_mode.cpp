#include "app/lists_mode.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include "app/catalog_setup.h"
#include "app/option_reader.h"
#include "text/columns.h"
#include "text/json_text.h"
#include "text/phrases.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

constexpr int kListsPrinted = 0;
constexpr int kListsUsage = 3;

struct ListsOptions {
    bool json = false;
    std::optional<std::filesystem::path> configFile;
};

std::variant<ListsOptions, std::string> parseListsOptions(const std::vector<std::string>& args) {
    ListsOptions options;
    const std::vector<OptionRow> rows{
        {"--format", true,
         [&options](const std::string& value) -> OptionProblem {
             if (value != "text" && value != "json") {
                 return "--format " + value + ": the format is text or json";
             }
             options.json = value == "json";
             return std::nullopt;
         }},
        {"--config", true, [&options](const std::string& value) -> OptionProblem {
             if (value.empty()) {
                 return std::string("--config: the config file's name is empty");
             }
             options.configFile = value;
             return std::nullopt;
         }}};
    const auto positional = [](const std::string& argument) -> OptionProblem {
        return argument + ": --lists takes no other argument";
    };
    OptionWords words;
    words.unknown = [](const std::string& option) {
        return option + ": unknown option (--lists takes --format text|json and --config FILE)";
    };
    words.needsValue = [](const std::string& option) { return option + ": needs a value"; };
    words.takesNoValue = [](const std::string& argument) { return argument + ": takes no value"; };
    if (auto problem = readOptions(args, rows, positional, words)) {
        return *problem;
    }
    return options;
}

std::string kindsText(const CatalogList& list) {
    std::string text;
    for (ListKind kind : list.kinds) {
        text += (text.empty() ? "" : ",") + std::string(listKindText(kind));
    }
    return text;
}

// The policy in a few words: what a user must know before asking the list.
std::string policyText(const CatalogList& list) {
    if (list.status != ListStatus::Alive) {
        return "do not use";
    }
    std::vector<std::string> parts;
    if (list.needsKey) {
        parts.push_back("needs a key (" + keyVariableName(list.provider) + ")");
    } else if (!list.keyZone.empty()) {
        parts.push_back("a key (" + keyVariableName(list.provider) + ") lifts its limits");
    }
    if (list.refusesPublicResolvers) {
        parts.push_back("refuses public resolvers");
    }
    if (parts.empty()) {
        parts.push_back("free");
    }
    return joined(parts, "; ");
}

void printText(const CatalogSetup& setup, std::ostream& out) {
    out << "Catalog of DNS blacklists, reviewed " << setup.catalog.reviewed() << "\n";
    std::vector<std::vector<std::string>> rows{
        {"ID", "NAME", "ZONE", "KINDS", "STATE", "DEFAULT", "POLICY"}};
    for (const auto& list : setup.catalog.lists()) {
        rows.push_back({list.id, list.name, zoneFor(list, setup.keys).shown, kindsText(list),
                        std::string(listStatusText(list.status)), list.isDefault ? "yes" : "no",
                        policyText(list)});
    }
    for (auto& row : rows) {
        for (auto& cell : row) {
            cell = escapeForTerminal(cell);
        }
    }
    for (const auto& line : alignColumns(rows)) {
        out << line << '\n';
    }
    out << "Dead and retired lists are kept so that --check and --check-zones can say so.\n"
           "Change or add lists in /etc/ostrivane/lists.d/*.toml; see ostrivane(1).\n";
}

std::string codeText(const AnswerCode& code) {
    auto dotted = [](std::uint32_t value) {
        return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 255) + "." +
               std::to_string((value >> 8) & 255) + "." + std::to_string(value & 255);
    };
    return code.first == code.last ? dotted(code.first)
                                   : dotted(code.first) + "-" + dotted(code.last);
}

JsonDocument listJson(const CatalogList& list, const ProviderKeys& keys) {
    JsonDocument answers = JsonDocument::array();
    for (const auto& code : list.answers) {
        JsonDocument answer;
        if (code.bit != 0) {
            answer["bit"] = code.bit;
        } else {
            answer["code"] = codeText(code);
        }
        answer["class"] = answerClassText(code.answerClass);
        answer["meaning"] = code.meaning;
        answer["refusal"] = code.refusal;
        answers.push_back(std::move(answer));
    }
    std::vector<std::string> kinds;
    for (ListKind kind : list.kinds)
        kinds.emplace_back(listKindText(kind));
    return {{"id", list.id},
            {"name", list.name},
            {"provider", list.provider},
            {"zone", zoneFor(list, keys).shown},
            {"kinds", kinds},
            {"status", listStatusText(list.status)},
            {"default", list.isDefault},
            {"scope", listScopeText(list.scope)},
            {"info", list.info},
            {"removal", list.removal},
            {"free_use", list.freeUse},
            {"refuses_public_resolvers", list.refusesPublicResolvers},
            {"needs_key", list.needsKey},
            {"key_variable",
             list.keyZone.empty() ? JsonDocument() : JsonDocument(keyVariableName(list.provider))},
            {"key_configured", zoneFor(list, keys).keyed},
            {"test_listed", list.testListed},
            {"test_unlisted", list.testUnlisted},
            {"answers", answers},
            {"unconfirmed", list.unconfirmed}};
}

}  // namespace

int runListsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parseListsOptions(args);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        err << "ostrivane --lists: " << escapeForTerminal(*problem) << '\n';
        return kListsUsage;
    }
    const auto& options = std::get<ListsOptions>(parsed);
    auto loaded = loadCatalogSetup(options.configFile, err);
    if (const auto* problem = std::get_if<std::string>(&loaded)) {
        err << "ostrivane --lists: " << escapeForTerminal(*problem) << '\n';
        return kListsUsage;
    }
    const auto& setup = std::get<CatalogSetup>(loaded);
    if (!options.json) {
        printText(setup, out);
        return kListsPrinted;
    }
    JsonDocument lists = JsonDocument::array();
    for (const auto& list : setup.catalog.lists()) {
        lists.push_back(listJson(list, setup.keys));
    }
    const JsonDocument document{{"reviewed", setup.catalog.reviewed()}, {"lists", lists}};
    out << jsonDocumentText(document);
    return kListsPrinted;
}

}  // namespace ostrivane
