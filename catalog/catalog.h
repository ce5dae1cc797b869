#pragma once

// The catalog of DNS blacklists: what each list lists, what its answers mean,
// what its operator allows, and which lists make the default set. Plain
// values; reading the catalog's files is in catalog/catalog_file.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/list_facts.h"

namespace ostrivane {

enum class ListKind { IPv4, IPv6, Domains };

// "ipv4", "ipv6", "domains".
std::string_view listKindText(ListKind kind);

// How a list means an answer: a listing, a listing by policy (an end-user
// range, a neighbour's spam: still a listing, labelled as such), an error of
// the list that says nothing about the address, or a reputation (good,
// neutral or poor, as allow lists and reputation lists answer): never a
// listing.
enum class AnswerClass { Listing, PolicyListing, ListError, Reputation };

// "listing", "policy-listing", "list-error", "reputation".
std::string_view answerClassText(AnswerClass answerClass);

enum class ListStatus { Alive, Dead, Retired };

// "alive", "dead", "retired".
std::string_view listStatusText(ListStatus status);

// What one listing covers.
enum class ListScope { Address, Range, Network, Domain };

// "address", "range", "network", "domain".
std::string_view listScopeText(ListScope scope);

// One answer code of a list: an address or a range of addresses, or a bit of
// the last byte for lists whose answers add up flags.
struct AnswerCode {
    std::uint32_t first = 0;  // host order: 127.0.0.2 is 0x7f000002
    std::uint32_t last = 0;
    std::uint8_t bit = 0;  // non-zero: this entry is a bit of the last byte
    std::string meaning;
    AnswerClass answerClass = AnswerClass::Listing;
    bool refusal = false;                    // "you asked through a public or open resolver"
    std::optional<Reputation> reputation{};  // set for the class reputation only
    // Where this code's listing comes in the order the provider asks removals
    // in (Spamhaus: SBL 1, XBL and CSS 2, PBL 3); none when it asks none.
    std::optional<int> removalStep{};
};

struct CatalogList {
    std::string id;
    std::string name;
    std::string provider;
    std::string zone;
    std::vector<ListKind> kinds;
    std::string info;
    std::string removal;
    ListStatus status = ListStatus::Alive;
    bool isDefault = false;
    ListScope scope = ListScope::Address;
    std::string freeUse;
    bool refusesPublicResolvers = false;
    bool needsKey = false;
    std::string keyZone;  // with "{key}" where the key label goes; empty: no key use
    std::vector<std::string> testListed;
    std::vector<std::string> testUnlisted;
    std::vector<std::string> testExtra;  // more test points it lists, published by its operator
    std::vector<TestPointByDesign> testByDesign;
    ListUnits units;
    AccessFacts access;
    RemovalFacts removalFacts;  // the removal page is `removal`
    std::vector<AnswerCode> answers;
    std::vector<FieldSource> sources;
    std::vector<std::string> unconfirmed;
    std::vector<std::string> fieldsSet;  // the fields its entries set, in name order

    bool lists(ListKind kind) const;
    // The prefix length it lists `kind` by; none for a kind it does not list
    // and for domains.
    std::optional<int> unitOf(ListKind kind) const;
    // Every test point of `kind` it lists: test_listed's, then test_extra's.
    std::vector<std::string> listedTestPoints(ListKind kind) const;
    // The answer it gives by design at a test point (hostkarma's "white"
    // 127.0.0.1 at 127.0.0.1); none at any other point.
    std::optional<std::uint32_t> answerByDesign(std::string_view point) const;
    // Whether it refuses some networks' resolvers however they ask.
    bool refusesNetworks() const { return !access.refusedNetworks.empty(); }
    // The sources that name `field`.
    std::vector<const FieldSource*> sourcesOf(std::string_view field) const;
    bool isUnconfirmed(std::string_view field) const;
};

// The kind of a test point as written: a dotted quad IPv4, an address with
// colons IPv6, anything else a domain name.
ListKind testPointKind(std::string_view point);

// What keeps a list from being reviewed: each field it sets (a fact, not the
// catalog's own choice) without a source, each field marked unconfirmed but
// the removal ones, and each of kinds, answer, units (for an address list),
// access, removal and removal_how that it leaves unset. Empty for a list fit
// for the default set.
std::vector<std::string> reviewProblems(const CatalogList& list);

// What one answer of a list means.
struct DecodedAnswer {
    AnswerClass answerClass = AnswerClass::Listing;
    std::string meaning;  // empty when the list's entry does not know the code
    bool refusal = false;
    std::optional<Reputation> reputation{};  // set for the class reputation
    std::optional<int> removalStep{};        // the code's place in the provider's removal order
};

// The meaning of an answer address (four bytes, network order) from a list.
// A code the entry does not know: outside 127.0.0.0/8 or in 127.255.255.0/24
// a list error, anything else in 127.0.0.0/8 a listing, both without meaning.
// Bit entries add up: 127.0.0.10 from a list with bits 2 and 8 means both.
// A reputation code (Mailspike's 13 to 20, hostkarma's white) decodes as the
// class reputation with its word, never as a listing.
DecodedAnswer decodeAnswer(const CatalogList* list, const std::array<std::uint8_t, 4>& answer);

// "127.0.0.2" -> 0x7f000002; nothing for anything but a dotted quad.
std::optional<std::uint32_t> parseAnswerCode(std::string_view text);

class Catalog {
  public:
    Catalog() = default;
    Catalog(std::string reviewed, std::vector<CatalogList> lists);

    // The date of the last review of the shipped catalog, "YYYY-MM-DD".
    const std::string& reviewed() const { return m_reviewed; }
    const std::vector<CatalogList>& lists() const { return m_lists; }

    const CatalogList* findId(std::string_view id) const;
    // By zone, either as listed or as asked with a key (its printable zone),
    // ignoring case and a final dot.
    const CatalogList* findZone(std::string_view zone) const;
    // An id, else a zone.
    const CatalogList* find(std::string_view idOrZone) const;

    // The lists --check asks when none is named: alive, marked default, free
    // without a key, and listing at least one of the kinds.
    std::vector<const CatalogList*> defaultSet(std::vector<ListKind> kinds) const;

    // Adds a list, or replaces the list with the same id.
    void put(CatalogList list);

  private:
    std::string m_reviewed;
    std::vector<CatalogList> m_lists;
    std::map<std::string, std::size_t, std::less<>> m_byId;  // index into m_lists
};

}  // namespace ostrivane
