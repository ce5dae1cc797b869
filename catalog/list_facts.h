#pragma once

// The facts a catalog list carries beside its zone and answer codes: what a
// good or neutral answer says of a sender, the test points it publishes or
// answers by design, the unit it lists by, what it takes to be allowed to
// ask it, how a listing ends, and where each fact comes from. Plain values;
// CatalogList (catalog/catalog.h) holds them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrivane {

// What a reputation answer says of a sender: never a listing.
enum class Reputation { Poor, Neutral, Good };

// "poor", "neutral", "good".
std::string_view reputationText(Reputation reputation);

// A test point a list answers by design with a code that is not a listing
// (a "white" answer at 127.0.0.1), so that the answer there does not make the
// list look as if it listed everything.
struct TestPointByDesign {
    std::string point;       // as in test_listed: "127.0.0.1", "::ffff:7f00:1", "test"
    std::uint32_t answer{};  // host order: 127.0.0.1 is 0x7f000001
};

// The prefix length a list lists by, per family: one question per unit is
// enough to know every address in it (/32 for IPv4; /64 for a list whose IPv6
// listings are whole /64s, /128 otherwise).
struct ListUnits {
    int ipv4 = 32;
    int ipv6 = 128;
};

// What the operator asks of whoever queries the list.
enum class AccessNeed {
    Nothing,       // free within its terms, from one's own resolver
    Registration,  // the resolver's address must be registered with the operator
    Account,       // an account with the operator
    Key,           // a key in the zone asked
};

// "nothing", "registration", "account", "key".
std::string_view accessNeedText(AccessNeed need);

struct AccessFacts {
    AccessNeed need = AccessNeed::Nothing;
    // The networks whose resolvers the list refuses, even when they are one's
    // own: "public resolvers", "OVHcloud (2023-06)", …
    std::vector<std::string> refusedNetworks;
    // What to say when the list refuses us: "Spamhaus refuses queries from
    // this network: use a DQS key". Empty: nothing beyond the general notice.
    std::string notice;
};

// How a listing ends.
enum class RemovalWay {
    Expires,  // by itself, some hours after the last bad traffic
    Form,     // a removal form or ticket on the operator's site
    Request,  // a request made from the listed address itself
    Contact,  // writing to the operator
    Account,  // delisting through an account with the operator
};

// "expires", "form", "request", "contact", "account".
std::string_view removalWayText(RemovalWay way);

struct RemovalFacts {
    std::vector<RemovalWay> ways;  // the usual way first
    // About how many hours the usual way takes: after the last bad traffic for
    // "expires", after the request otherwise.
    std::optional<int> expectedHours;
    std::string note;  // the operator's process in a line, for the administrator
};

// Where some fields of a list were read, and when.
struct FieldSource {
    std::vector<std::string> fields;  // the list's field names: "answer", "removal_how", …
    std::string url;
    std::string reviewed;  // YYYY-MM-DD
    std::string note;      // which part of the page, when the URL alone does not say
};

// The fields of a list that are facts about it rather than the catalog's own
// choices: each of them needs a source in a default list. The catalog's own
// are its id, its provider key, whether it is a default, and the sources and
// unconfirmed marks themselves.
bool isSourcedField(std::string_view field);

// The removal fields: the only ones a default list may leave unconfirmed, as
// operators document their removal process least of all.
bool isRemovalField(std::string_view field);

}  // namespace ostrivane
