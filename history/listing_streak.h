#pragma once

// How one address stands on one zone across runs, and how a new result moves
// it on. The store keeps this state per address and zone so that neither the
// change of a result nor the timeline needs a scan of old results.
//
// Only a known verdict (listed or not listed) starts or ends a streak. A run
// that got no answer, an error code or a broken zone says nothing about the
// address: it neither ends a listing nor continues a clean record, and the next
// known verdict is compared with the last known one. Otherwise one time-out in
// the middle of a week-long listing would report it cleared and then new again,
// and a cron job on --changes would mail twice about nothing.

#include <optional>

#include "results/check_result.h"

namespace ostrivane {

struct ListingStreak {
    std::optional<bool> listed;          // the last known verdict; none before the first
    std::optional<EpochMs> knownAt;      // start of the run that gave it
    std::optional<EpochMs> listedSince;  // start of the current listing, while listed
    friend bool operator==(const ListingStreak&, const ListingStreak&) = default;
};

// A result as the history sees it: its change and since (see CheckResult).
struct StreakChange {
    std::optional<ListingChange> change;
    std::optional<EpochMs> since;
};

// Listed now: `new` (since this run) unless the last known verdict was a
// listing, then `ongoing` since the listing began. Not listed now after a
// listing: `cleared`, with since = when the ended listing began. Everything
// else (clean after clean, first clean result, an unknown verdict): nothing.
StreakChange changeOf(const ListingStreak& before, CheckVerdict verdict, EpochMs runStart);

// The state after the result. An unknown verdict leaves it as it was; so does
// a result of a run that started before the one the state comes from (two runs
// at the same time, the older one committing last).
ListingStreak advance(const ListingStreak& before, CheckVerdict verdict, EpochMs runStart);

bool isKnown(CheckVerdict verdict);

}  // namespace ostrivane
