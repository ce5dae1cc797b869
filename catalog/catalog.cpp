#include "catalog/catalog.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace ostrivane {

std::string_view listKindText(ListKind kind) {
    switch (kind) {
        case ListKind::IPv4:
            return "ipv4";
        case ListKind::IPv6:
            return "ipv6";
        case ListKind::Domains:
            break;
    }
    return "domains";
}

std::string_view answerClassText(AnswerClass answerClass) {
    switch (answerClass) {
        case AnswerClass::Listing:
            return "listing";
        case AnswerClass::PolicyListing:
            return "policy-listing";
        case AnswerClass::ListError:
            return "list-error";
        case AnswerClass::Reputation:
            break;
    }
    return "reputation";
}

std::string_view listStatusText(ListStatus status) {
    switch (status) {
        case ListStatus::Alive:
            return "alive";
        case ListStatus::Dead:
            return "dead";
        case ListStatus::Retired:
            break;
    }
    return "retired";
}

std::string_view listScopeText(ListScope scope) {
    switch (scope) {
        case ListScope::Address:
            return "address";
        case ListScope::Range:
            return "range";
        case ListScope::Network:
            return "network";
        case ListScope::Domain:
            break;
    }
    return "domain";
}

bool CatalogList::lists(ListKind kind) const {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

std::optional<std::uint32_t> parseAnswerCode(std::string_view text) {
    std::uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') {
                return std::nullopt;
            }
            text.remove_prefix(1);
        }
        unsigned byte = 0;
        const auto* end = text.data() + std::min<std::size_t>(text.size(), 3);
        auto [next, error] = std::from_chars(text.data(), end, byte);
        if (error != std::errc{} || byte > 255 || (next - text.data() > 1 && text.front() == '0')) {
            return std::nullopt;
        }
        text.remove_prefix(static_cast<std::size_t>(next - text.data()));
        value = (value << 8) | byte;
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    return value;
}

namespace {

std::uint32_t hostOrder(const std::array<std::uint8_t, 4>& bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

DecodedAnswer unknownCode(std::uint32_t code) {
    const bool inLoopback = (code >> 24) == 127;
    const bool errorRange = (code >> 8) == 0x7fffff;
    return {inLoopback && !errorRange ? AnswerClass::Listing : AnswerClass::ListError, "", false};
}

// Bit lists answer 127.0.0.X (or 127.0.1.X) with X the sum of the flags.
std::optional<DecodedAnswer> decodeBits(const CatalogList& list, std::uint32_t code) {
    DecodedAnswer decoded;
    bool any = false;
    bool allPolicy = true;
    bool allReputation = true;
    for (const auto& entry : list.answers) {
        if (entry.bit == 0 || (code & entry.bit) == 0) {
            continue;
        }
        decoded.meaning += (any ? "; " : "") + entry.meaning;
        allPolicy = allPolicy && entry.answerClass == AnswerClass::PolicyListing;
        allReputation = allReputation && entry.answerClass == AnswerClass::Reputation;
        decoded.reputation = decoded.reputation ? decoded.reputation : entry.reputation;
        any = true;
    }
    if (!any || (code >> 24) != 127 || (code >> 8) == 0x7fffff) {
        return std::nullopt;
    }
    decoded.answerClass = allPolicy       ? AnswerClass::PolicyListing
                          : allReputation ? AnswerClass::Reputation
                                          : AnswerClass::Listing;
    if (decoded.answerClass != AnswerClass::Reputation) {
        decoded.reputation.reset();
    }
    return decoded;
}

}  // namespace

DecodedAnswer decodeAnswer(const CatalogList* list, const std::array<std::uint8_t, 4>& answer) {
    const std::uint32_t code = hostOrder(answer);
    if (list == nullptr) {
        return unknownCode(code);
    }
    for (const auto& entry : list->answers) {
        if (entry.bit == 0 && code >= entry.first && code <= entry.last) {
            return {entry.answerClass, entry.meaning, entry.refusal, entry.reputation,
                    entry.removalStep};
        }
    }
    if (auto bits = decodeBits(*list, code)) {
        return *bits;
    }
    return unknownCode(code);
}

Catalog::Catalog(std::string reviewed, std::vector<CatalogList> lists)
    : m_reviewed(std::move(reviewed)), m_lists(std::move(lists)) {
    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        m_byId.emplace(m_lists[i].id, i);
    }
}

const CatalogList* Catalog::findId(std::string_view id) const {
    const auto found = m_byId.find(id);
    return found == m_byId.end() ? nullptr : &m_lists[found->second];
}

namespace {

bool sameZone(std::string_view a, std::string_view b) {
    auto trimmed = [](std::string_view zone) {
        return !zone.empty() && zone.back() == '.' ? zone.substr(0, zone.size() - 1) : zone;
    };
    a = trimmed(a);
    b = trimmed(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::string_view withoutKeyLabel(std::string_view keyZone) {
    const auto dot = keyZone.find('.');
    return dot == std::string_view::npos ? std::string_view{} : keyZone.substr(dot + 1);
}

}  // namespace

const CatalogList* Catalog::findZone(std::string_view zone) const {
    for (const auto& list : m_lists) {
        if (sameZone(list.zone, zone)) {
            return &list;
        }
    }
    for (const auto& list : m_lists) {
        if (!list.keyZone.empty() && sameZone(withoutKeyLabel(list.keyZone), zone)) {
            return &list;
        }
    }
    return nullptr;
}

const CatalogList* Catalog::find(std::string_view idOrZone) const {
    const auto* byId = findId(idOrZone);
    return byId != nullptr ? byId : findZone(idOrZone);
}

std::vector<const CatalogList*> Catalog::defaultSet(std::vector<ListKind> kinds) const {
    std::vector<const CatalogList*> chosen;
    for (const auto& list : m_lists) {
        const bool kindMatches = std::any_of(kinds.begin(), kinds.end(),
                                             [&](ListKind kind) { return list.lists(kind); });
        if (list.isDefault && list.status == ListStatus::Alive && !list.needsKey && kindMatches) {
            chosen.push_back(&list);
        }
    }
    return chosen;
}

void Catalog::put(CatalogList list) {
    if (const auto found = m_byId.find(list.id); found != m_byId.end()) {
        m_lists[found->second] = std::move(list);
        return;
    }
    m_byId.emplace(list.id, m_lists.size());
    m_lists.push_back(std::move(list));
}

}  // namespace ostrivane
