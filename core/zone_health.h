#pragma once

#include <string>
#include <string_view>

#include "core/resolver.h"

namespace ostrivane {

// Every IPv4 blacklist must list 127.0.0.2 and must not list 127.0.0.1. Asking
// a zone for both tells a working list from one whose verdicts mean nothing.
enum class ZoneHealth {
    Healthy,          // lists 127.0.0.2 and not 127.0.0.1
    ListsEverything,  // lists 127.0.0.1 too: its "Listed" verdicts mean nothing
    EmptyOrDead,      // does not list 127.0.0.2, or left a question unanswered
    RefusesUs,        // answered with an error code: 127.255.255.0/24, or outside 127.0.0.0/8
};

// "healthy", "lists everything", "empty or dead", "refuses us".
std::string_view zoneHealthText(ZoneHealth health);

// The same as one word for machines, `blank` between the words:
// "lists-everything" in JSON values and metric labels, "lists_everything" as
// a JSON key.
std::string zoneHealthKey(ZoneHealth health, char blank = '-');

// The first rule that matches decides, so every mix of answers has one state:
//   1. either answer is an error code (127.255.255.0/24 or
//      anything outside 127.0.0.0/8, see isListingAnswer)   -> RefusesUs
//   2. 127.0.0.1 is listed                                 -> ListsEverything
//   3. 127.0.0.2 is listed and 127.0.0.1 does not exist    -> Healthy
//   4. anything else                                       -> EmptyOrDead
// An error code wins over everything: the list tells us it will not answer us,
// so its other answer proves nothing about the list. A zone that lists
// 127.0.0.1 lists what no list may list, whatever it says of 127.0.0.2. A zone
// counts as healthy only when both answers prove it; one question left
// unanswered (a timeout, a server failure) makes it as good as dead.
ZoneHealth classifyZone(const Resolution& answerFor127_0_0_2, const Resolution& answerFor127_0_0_1);

// The zone's state from its two families' states (each by classifyZone on
// that family's test points): healthy when either works, since a list may
// cover one family only, else the IPv4 state. A domain list's state joins an
// address list's the same way.
ZoneHealth zoneHealthOf(ZoneHealth ipv4, ZoneHealth ipv6);

}  // namespace ostrivane
