#include "check/check_result.h"

#include <algorithm>

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

CheckCounts countsOf(const CheckRun& run) {
    CheckCounts counts;
    std::vector<std::string_view> addresses;
    for (const auto& result : run.results) {
        switch (result.verdict) {
            case CheckVerdict::Listed:
                ++counts.listed;
                if (result.change == ListingChange::New) {
                    ++counts.newListings;
                }
                break;
            case CheckVerdict::NotListed:
                ++counts.notListed;
                break;
            case CheckVerdict::NoAnswer:
                ++counts.noAnswer;
                break;
            case CheckVerdict::ListError:
                ++counts.listError;
                break;
            case CheckVerdict::BrokenZone:
                ++counts.brokenZone;
                break;
        }
        if (addresses.empty() || addresses.back() != result.address) {
            addresses.push_back(result.address);
        }
    }
    counts.addresses = addresses.size();
    std::vector<std::string_view> faulty;
    for (const auto& finding : run.findings) {
        if (finding.kind != FindingKind::Note &&
            std::find(faulty.begin(), faulty.end(), finding.target) == faulty.end()) {
            faulty.push_back(finding.target);
        }
    }
    counts.faultyTargets = faulty.size();
    return counts;
}

std::string_view findingKindText(FindingKind kind) {
    switch (kind) {
        case FindingKind::PermError:
            return "permerror";
        case FindingKind::Incomplete:
            return "incomplete";
        case FindingKind::Note:
            break;
    }
    return "note";
}

}  // namespace ostrivane
