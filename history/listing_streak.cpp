#include "history/listing_streak.h"

namespace ostrivane {

bool isKnown(CheckVerdict verdict) {
    return verdict == CheckVerdict::Listed || verdict == CheckVerdict::NotListed;
}

StreakChange changeOf(const ListingStreak& before, CheckVerdict verdict, EpochMs runStart) {
    const bool wasListed = before.listed.value_or(false);
    if (verdict == CheckVerdict::Listed) {
        if (wasListed) {
            return {ListingChange::Ongoing, before.listedSince.value_or(runStart)};
        }
        return {ListingChange::New, runStart};
    }
    if (verdict == CheckVerdict::NotListed && wasListed) {
        return {ListingChange::Cleared, before.listedSince};
    }
    return {};
}

ListingStreak advance(const ListingStreak& before, CheckVerdict verdict, EpochMs runStart) {
    if (!isKnown(verdict) || (before.knownAt && runStart < *before.knownAt)) {
        return before;
    }
    const bool listed = verdict == CheckVerdict::Listed;
    ListingStreak after;
    after.listed = listed;
    after.knownAt = runStart;
    if (listed) {
        after.listedSince =
            before.listed.value_or(false) && before.listedSince ? *before.listedSince : runStart;
    }
    return after;
}

}  // namespace ostrivane
