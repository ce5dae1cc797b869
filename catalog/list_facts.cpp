#include "catalog/list_facts.h"

#include <algorithm>
#include <array>

#include "catalog/catalog.h"

namespace ostrivane {

std::string_view reputationText(Reputation reputation) {
    switch (reputation) {
        case Reputation::Poor:
            return "poor";
        case Reputation::Neutral:
            return "neutral";
        case Reputation::Good:
            break;
    }
    return "good";
}

std::string_view accessNeedText(AccessNeed need) {
    switch (need) {
        case AccessNeed::Nothing:
            return "nothing";
        case AccessNeed::Registration:
            return "registration";
        case AccessNeed::Account:
            return "account";
        case AccessNeed::Key:
            break;
    }
    return "key";
}

std::string_view removalWayText(RemovalWay way) {
    switch (way) {
        case RemovalWay::Expires:
            return "expires";
        case RemovalWay::Form:
            return "form";
        case RemovalWay::Request:
            return "request";
        case RemovalWay::Contact:
            return "contact";
        case RemovalWay::Account:
            break;
    }
    return "account";
}

namespace {

constexpr std::array<std::string_view, 5> kOwnFields{"id", "provider", "default", "sources",
                                                     "unconfirmed"};
constexpr std::array<std::string_view, 4> kRemovalFields{"removal", "removal_how", "removal_hours",
                                                         "removal_note"};
// What a default list must state, so that every mode can rely on it.
constexpr std::array<std::string_view, 6> kStatedByDefaultLists{"kinds",  "answer",  "units",
                                                                "access", "removal", "removal_how"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& fields, std::string_view field) {
    return std::find(fields.begin(), fields.end(), field) != fields.end();
}

}  // namespace

bool isSourcedField(std::string_view field) {
    return !among(kOwnFields, field);
}

bool isRemovalField(std::string_view field) {
    return among(kRemovalFields, field);
}

ListKind testPointKind(std::string_view point) {
    if (parseAnswerCode(point)) {
        return ListKind::IPv4;
    }
    return point.find(':') != std::string_view::npos ? ListKind::IPv6 : ListKind::Domains;
}

std::optional<int> CatalogList::unitOf(ListKind kind) const {
    if (!lists(kind) || kind == ListKind::Domains) {
        return std::nullopt;
    }
    return kind == ListKind::IPv4 ? units.ipv4 : units.ipv6;
}

std::vector<std::string> CatalogList::listedTestPoints(ListKind kind) const {
    std::vector<std::string> points;
    for (const auto* from : {&testListed, &testExtra}) {
        std::copy_if(from->begin(), from->end(), std::back_inserter(points),
                     [kind](const std::string& point) { return testPointKind(point) == kind; });
    }
    return points;
}

std::optional<std::uint32_t> CatalogList::answerByDesign(std::string_view point) const {
    for (const auto& designed : testByDesign) {
        if (designed.point == point) {
            return designed.answer;
        }
    }
    return std::nullopt;
}

std::vector<const FieldSource*> CatalogList::sourcesOf(std::string_view field) const {
    std::vector<const FieldSource*> found;
    for (const auto& source : sources) {
        if (std::find(source.fields.begin(), source.fields.end(), field) != source.fields.end()) {
            found.push_back(&source);
        }
    }
    return found;
}

bool CatalogList::isUnconfirmed(std::string_view field) const {
    return std::find(unconfirmed.begin(), unconfirmed.end(), field) != unconfirmed.end();
}

std::vector<std::string> reviewProblems(const CatalogList& list) {
    std::vector<std::string> problems;
    for (const auto& field : list.fieldsSet) {
        if (isSourcedField(field) && list.sourcesOf(field).empty()) {
            problems.push_back("\"" + field + "\" has no source");
        }
    }
    for (const auto& field : list.unconfirmed) {
        if (!isRemovalField(field)) {
            problems.push_back("\"" + field + "\" is unconfirmed");
        }
    }
    for (const auto field : kStatedByDefaultLists) {
        const bool addressList = list.lists(ListKind::IPv4) || list.lists(ListKind::IPv6);
        if ((field != "units" || addressList) &&
            !std::binary_search(list.fieldsSet.begin(), list.fieldsSet.end(), field)) {
            problems.push_back("\"" + std::string(field) + "\" is not stated");
        }
    }
    return problems;
}

}  // namespace ostrivane
