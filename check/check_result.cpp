#include "check/check_result.h"

namespace ostrivane {

std::string_view checkVerdictText(CheckVerdict verdict) {
    switch (verdict) {
        case CheckVerdict::Listed:
            return "listed";
        case CheckVerdict::NotListed:
            return "not-listed";
        case CheckVerdict::ListError:
            return "list-error";
        case CheckVerdict::BrokenZone:
            return "broken-zone";
        case CheckVerdict::NoAnswer:
            break;
    }
    return "no-answer";
}

std::string_view listingChangeText(ListingChange change) {
    switch (change) {
        case ListingChange::New:
            return "new";
        case ListingChange::Cleared:
            return "cleared";
        case ListingChange::Ongoing:
            break;
    }
    return "ongoing";
}

}  // namespace ostrivane
