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
        case CheckVerdict::NotCovered:
            return "not-covered";
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

std::vector<std::string> uncoveredAddressesOf(const CheckRun& run) {
    std::vector<std::string> uncovered;
    for (std::size_t first = 0; first < run.results.size();) {
        std::size_t end = first;
        bool covered = false;
        for (; end < run.results.size() && run.results[end].address == run.results[first].address;
             ++end) {
            covered = covered || run.results[end].verdict != CheckVerdict::NotCovered;
        }
        if (!covered) {
            uncovered.push_back(run.results[first].address);
        }
        first = end;
    }
    return uncovered;
}

ZoneHealth zoneHealthOf(ZoneHealth ipv4, ZoneHealth ipv6) {
    return ipv4 == ZoneHealth::Healthy || ipv6 == ZoneHealth::Healthy ? ZoneHealth::Healthy : ipv4;
}

CheckCounts countsOf(const CheckRun& run) {
    CheckCounts counts;
    std::vector<std::string_view> addresses;
    bool covered = true;  // the current address: some zone gave more than not-covered
    for (const auto& result : run.results) {
        if (addresses.empty() || addresses.back() != result.address) {
            counts.uncoveredAddresses += covered ? 0 : 1;
            covered = false;
            addresses.push_back(result.address);
        }
        covered = covered || result.verdict != CheckVerdict::NotCovered;
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
            case CheckVerdict::NotCovered:
                ++counts.notCovered;
                break;
        }
    }
    counts.uncoveredAddresses += covered ? 0 : 1;
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
