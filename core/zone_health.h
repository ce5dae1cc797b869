#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "core/blacklist_table.h"
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

// How long the check may wait for the answers: each zone (its two questions
// are asked at once) and the whole check, whichever ends first.
struct ZoneCheckLimits {
    std::chrono::milliseconds perZone{5000};
    std::chrono::milliseconds whole{10000};
};

// One question of the check and what came of it. A question still open at its
// zone's deadline counts as no answer and is marked as timed out.
struct ProbeAnswer {
    Resolution resolution;
    bool timedOut = false;
};

struct ZoneCheck {
    int row = 0;  // 0 to 19, as the table counts
    std::string name;
    std::string zone;
    ProbeAnswer for127_0_0_2;
    ProbeAnswer for127_0_0_1;
    ZoneHealth health = ZoneHealth::EmptyOrDead;
};

// Asks every row with a non-empty zone about 2.0.0.127.<zone> and
// 1.0.0.127.<zone>, all questions at once on worker threads, and returns the
// rows in table order. Returns by the deadlines of `limits` even when some
// questions never return: their threads are left behind, detached, and go on
// calling `resolver`, which must therefore stay usable until the process ends.
// The table is read on the calling thread only, before any worker starts.
std::vector<ZoneCheck> checkZones(const BlacklistTable& table, Resolver& resolver,
                                  ZoneCheckLimits limits = {});

}  // namespace ostrivane
