#include "check/catalog_lists.h"

#include <algorithm>
#include <map>

#include "catalog/catalog.h"
#include "core/address.h"

namespace ostrivane {

AskedZone zoneOfList(const CatalogList& list, const CatalogUse& use) {
    return {zoneFor(list, use.keys).asked, list.name, true};
}

void addZones(std::vector<AskedZone>& into, const std::vector<AskedZone>& zones) {
    for (const auto& zone : zones) {
        const bool known = std::any_of(into.begin(), into.end(),
                                       [&](const AskedZone& z) { return z.zone == zone.zone; });
        if (!known) {
            into.push_back(zone);
        }
    }
}

namespace {

const CatalogList* listNamed(std::string_view name, const CatalogUse& use) {
    return use.catalog != nullptr ? use.catalog->find(name) : nullptr;
}

void addOnItsSide(ChosenZones& choice, const AskedZone& zone, const CatalogList* list) {
    if (list != nullptr && list->lists(ListKind::Domains)) {
        addZones(choice.domains, {zone});
    }
    if (list == nullptr || list->lists(ListKind::IPv4) || list->lists(ListKind::IPv6)) {
        addZones(choice.addresses, {zone});
    }
}

}  // namespace

std::vector<AskedZone> zonesNamed(const std::vector<std::string>& names, const CatalogUse& use) {
    std::vector<AskedZone> zones;
    for (const auto& name : names) {
        const CatalogList* list = listNamed(name, use);
        addZones(zones, {list != nullptr ? zoneOfList(*list, use) : AskedZone{name, {}}});
    }
    return zones;
}

ChosenZones zonesChosen(const std::vector<std::string>& names, const CatalogUse& use) {
    ChosenZones choice;
    for (const auto& name : names) {
        const CatalogList* list = listNamed(name, use);
        addOnItsSide(choice, list != nullptr ? zoneOfList(*list, use) : AskedZone{name, {}}, list);
    }
    return choice;
}

ChosenZones zonesSplit(const std::vector<AskedZone>& zones, const CatalogUse& use) {
    ChosenZones choice;
    for (const auto& zone : zones) {
        const CatalogList* list =
            use.catalog != nullptr ? use.catalog->findZone(zone.zone) : nullptr;
        // Decoded as applyCatalog finds it: a list with a key is known by its key's zone.
        const bool decoded = list != nullptr && !zoneFor(*list, use.keys).keyed;
        addOnItsSide(choice, {zone.zone, zone.name, decoded}, list);
    }
    return choice;
}

ChosenZones defaultZones(const CatalogUse& use) {
    ChosenZones choice;
    if (use.catalog != nullptr) {
        for (const auto* list : use.catalog->defaultSet({ListKind::IPv4, ListKind::IPv6})) {
            addZones(choice.addresses, {zoneOfList(*list, use)});
        }
        for (const auto* list : use.catalog->defaultSet({ListKind::Domains})) {
            addZones(choice.domains, {zoneOfList(*list, use)});
        }
    }
    return choice;
}

namespace {

// The catalog list behind a zone of the run, and the zone as shown.
struct ListOfZone {
    const CatalogList* list = nullptr;
    std::string shown;
};

// The catalog list behind each zone of the run, keyed by the zone as asked.
std::map<std::string, ListOfZone, std::less<>> listsOfRun(const std::vector<std::string>& zones,
                                                          const CatalogUse& use) {
    std::map<std::string, ListOfZone, std::less<>> lists;
    for (const auto& zone : zones) {
        ListOfZone found{nullptr, zone};
        for (const auto& list : use.catalog->lists()) {
            const auto asked = zoneFor(list, use.keys);
            if (asked.asked == zone || (!asked.keyed && use.catalog->findZone(zone) == &list)) {
                found = {&list, asked.shown};
                break;
            }
        }
        lists.emplace(zone, found);
    }
    return lists;
}

std::optional<std::array<std::uint8_t, 4>> bytesOf(const std::string& dotted) {
    const auto code = parseAnswerCode(dotted);
    if (!code) {
        return std::nullopt;
    }
    return std::array<std::uint8_t, 4>{std::uint8_t(*code >> 24), std::uint8_t(*code >> 16),
                                       std::uint8_t(*code >> 8), std::uint8_t(*code)};
}

// Decodes a result's answers; true when one of them is the list's refusal.
// Answers that are only errors make the verdict list-error; answers with a
// reputation among them and no listing make it not-listed, the reputation's
// meaning kept beside the answer.
bool decodeResult(CheckResult& result, const CatalogList& list) {
    bool refusal = false;
    bool allErrors = !result.answers.empty();
    bool anyListing = false;
    result.meanings.clear();
    for (const auto& answer : result.answers) {
        const auto bytes = bytesOf(answer);
        const auto decoded =
            bytes ? decodeAnswer(&list, *bytes) : DecodedAnswer{AnswerClass::ListError, "", false};
        result.meanings.push_back(
            {std::string(answerClassText(decoded.answerClass)), decoded.meaning});
        refusal = refusal || decoded.refusal;
        allErrors = allErrors && decoded.answerClass == AnswerClass::ListError;
        anyListing = anyListing || decoded.answerClass == AnswerClass::Listing ||
                     decoded.answerClass == AnswerClass::PolicyListing;
    }
    if (allErrors && result.verdict == CheckVerdict::Listed) {
        result.verdict = CheckVerdict::ListError;
        result.reason.clear();
    } else if (!anyListing && result.verdict == CheckVerdict::Listed) {
        result.verdict = CheckVerdict::NotListed;
    }
    return refusal;
}

std::string refusalNotice(const CatalogList& list, const std::string& shown) {
    std::string notice = list.name + " (" + shown +
                         ") refuses queries through public resolvers: use your own resolver "
                         "(--server)";
    if (!list.keyZone.empty()) {
        notice +=
            " or a key (" + keyVariableName(list.provider) + ", or [keys] in the config file)";
    }
    return notice;
}

}  // namespace

std::optional<std::string> deadListNotice(const CatalogList& list, const std::string& shown,
                                          ZoneHealth health) {
    std::string why;
    if (list.status != ListStatus::Alive) {
        why = "the catalog marks it " + std::string(listStatusText(list.status));
    } else if (health == ZoneHealth::ListsEverything) {
        why = "it lists every address, its test addresses included";
    } else if (health == ZoneHealth::EmptyOrDead) {
        why = "it does not list its test address, or does not answer";
    } else {
        return std::nullopt;
    }
    return list.name + " (" + shown + ") looks dead (" + why +
           "): remove it from your lists or update the catalog";
}

struct CatalogDecoder::Lists {
    std::map<std::string, ListOfZone, std::less<>> ofZone;
};

CatalogDecoder::CatalogDecoder(const std::vector<std::string>& zones, const CatalogUse& use)
    : m_use(use), m_lists(std::make_unique<Lists>()) {
    if (use.catalog != nullptr) {
        m_lists->ofZone = listsOfRun(zones, use);
    }
}

CatalogDecoder::~CatalogDecoder() = default;

void CatalogDecoder::decode(std::vector<CheckResult>& results) {
    if (m_use.catalog == nullptr) {
        return;
    }
    for (auto& result : results) {
        const auto& found = m_lists->ofZone.at(result.zone);
        if (found.list != nullptr && decodeResult(result, *found.list)) {
            m_refused.insert(result.zone);
        }
        result.zone = found.shown;
        result.reason = redactKeys(result.reason, m_use.keys);
    }
}

void CatalogDecoder::finish(CheckRun& run) {
    if (m_use.catalog == nullptr) {
        return;
    }
    for (auto& zone : run.zones) {
        const auto& found = m_lists->ofZone.at(zone.zone);
        if (found.list != nullptr) {
            CheckResult probe;
            probe.answers = zone.testAnswers;
            if (zone.health == ZoneHealth::RefusesUs && decodeResult(probe, *found.list)) {
                m_refused.insert(zone.zone);
            }
            if (m_refused.count(zone.zone) > 0) {
                run.notices.push_back(refusalNotice(*found.list, found.shown));
            } else if (auto dead = deadListNotice(*found.list, found.shown, zone.health)) {
                run.notices.push_back(*dead);
            }
            zone.info = found.list->info;
        }
        zone.zone = found.shown;
    }
}

void applyCatalog(CheckRun& run, const CatalogUse& use) {
    std::vector<std::string> zones;
    for (const auto& zone : run.zones) {
        zones.push_back(zone.zone);
    }
    CatalogDecoder decoder(zones, use);
    decoder.decode(run.results);
    decoder.finish(run);
}

}  // namespace ostrivane
