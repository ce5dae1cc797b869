#include "app/lists_mode.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include "app/catalog_setup.h"
#include "app/command_line.h"
#include "app/shared_options.h"
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
    bool help = false;
};

OptionTable listsTable(ListsOptions& o) {
    const ReadValue noOther = [](const std::string& argument) -> OptionProblem {
        return argument + ": --lists takes no other argument";
    };
    return {{"Options:",
             {textOrJsonRow(o.json),
              configRow(o.configFile),
              helpRow(o.help),
              {"ARGUMENT", "", "", noOther}}}};
}

constexpr const char* kAbout = R"(Prints the catalog of DNS blacklists, with the drop-ins of
/etc/ostrivane/lists.d/ and the config file's own lists: each list's id,
name, zone, kinds, state, whether it is in the default set, and its policy;
with --format json, every field, the answer codes included.

)";

constexpr const char* kStatuses = R"(
Exit status: 0 printed; 3 usage error, or a config or catalog file that
cannot be used (its file, line and problem).
)";

std::string listsUsageText() {
    ListsOptions defaults;
    return usageLine(CommandKind::Lists) + kAbout + optionUsage(listsTable(defaults)) + kStatuses;
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

// What asking a list takes beyond one's own resolver, in a line; empty when
// it takes nothing more.
std::string accessText(const CatalogList& list) {
    std::vector<std::string> parts;
    switch (list.access.need) {
        case AccessNeed::Nothing:
            break;
        case AccessNeed::Registration:
            parts.push_back("needs the resolver's address registered with its operator");
            break;
        case AccessNeed::Account:
            parts.push_back("needs an account with its operator");
            break;
        case AccessNeed::Key:
            parts.push_back("needs a key (" + keyVariableName(list.provider) + ")");
            break;
    }
    std::string networks;
    bool publicResolvers = false;
    for (const auto& network : list.access.refusedNetworks) {
        if (network == "public resolvers") {
            publicResolvers = true;
        } else {
            networks += (networks.empty() ? "" : ", ") + network;
        }
    }
    if (publicResolvers) {
        parts.push_back("refuses queries through public resolvers");
    }
    if (!networks.empty()) {
        parts.push_back("refuses queries from resolvers in " + networks + ", even your own");
    }
    if (!list.access.notice.empty()) {
        parts.push_back(list.access.notice);
    }
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
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
    for (const auto& list : setup.catalog.lists()) {
        const auto access = accessText(list);
        if (list.status == ListStatus::Alive && !access.empty()) {
            out << "Access: " << escapeForTerminal(list.id + ": " + access) << '\n';
        }
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

JsonDocument textOrNull(const std::string& text) {
    return text.empty() ? JsonDocument() : JsonDocument(text);
}

JsonDocument unitsJson(const CatalogList& list) {
    JsonDocument units = JsonDocument::object();
    for (ListKind kind : {ListKind::IPv4, ListKind::IPv6}) {
        if (const auto unit = list.unitOf(kind)) {
            units[std::string(listKindText(kind))] = *unit;
        }
    }
    return units;
}

JsonDocument byDesignJson(const CatalogList& list) {
    JsonDocument points = JsonDocument::array();
    for (const auto& designed : list.testByDesign) {
        AnswerCode code;
        code.first = code.last = designed.answer;
        points.push_back({{"point", designed.point}, {"answer", codeText(code)}});
    }
    return points;
}

JsonDocument removalWaysJson(const CatalogList& list) {
    std::vector<std::string> ways;
    for (RemovalWay way : list.removalFacts.ways) {
        ways.emplace_back(removalWayText(way));
    }
    return ways;
}

JsonDocument sourcesJson(const CatalogList& list) {
    JsonDocument sources = JsonDocument::array();
    for (const auto& source : list.sources) {
        sources.push_back({{"fields", source.fields},
                           {"url", source.url},
                           {"reviewed", source.reviewed},
                           {"note", textOrNull(source.note)}});
    }
    return sources;
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
        answer["reputation"] =
            code.reputation ? JsonDocument(reputationText(*code.reputation)) : JsonDocument();
        answer["removal_step"] =
            code.removalStep ? JsonDocument(*code.removalStep) : JsonDocument();
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
            {"unconfirmed", list.unconfirmed},
            {"units", unitsJson(list)},
            {"access", accessNeedText(list.access.need)},
            {"refuses_networks", list.access.refusedNetworks},
            {"access_notice", textOrNull(list.access.notice)},
            {"test_extra", list.testExtra},
            {"test_by_design", byDesignJson(list)},
            {"removal_how", removalWaysJson(list)},
            {"removal_hours", list.removalFacts.expectedHours
                                  ? JsonDocument(*list.removalFacts.expectedHours)
                                  : JsonDocument()},
            {"removal_note", textOrNull(list.removalFacts.note)},
            {"sources", sourcesJson(list)}};
}

}  // namespace

int runListsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ListsOptions options;
    if (const auto problem = readOptions(args, listsTable(options), sharedOptionWords())) {
        err << "ostrivane --lists: " << escapeForTerminal(*problem) << '\n'
            << tryHelpLine(CommandKind::Lists);
        return kListsUsage;
    }
    if (options.help) {
        out << listsUsageText();
        return kListsPrinted;
    }
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
