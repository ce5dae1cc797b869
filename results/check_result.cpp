#include "results/check_result.h"

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

namespace {

void countVerdict(const CheckResult& result, CheckCounts& counts) {
    ++counts.results;
    counts.cleared += result.change == ListingChange::Cleared ? 1 : 0;
    switch (result.verdict) {
        case CheckVerdict::Listed:
            ++counts.listed;
            counts.newListings += result.change == ListingChange::New ? 1 : 0;
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

bool covered(const std::vector<CheckResult>& results, std::size_t first, std::size_t end) {
    for (std::size_t i = first; i < end; ++i) {
        if (results[i].verdict != CheckVerdict::NotCovered) {
            return true;
        }
    }
    return false;
}

}  // namespace

void ResultTally::add(const std::vector<CheckResult>& addressResults) {
    forEachAddress(addressResults, [&](std::size_t first, std::size_t end) {
        ++counts.addresses;
        for (std::size_t i = first; i < end; ++i) {
            countVerdict(addressResults[i], counts);
        }
        if (!covered(addressResults, first, end)) {
            ++counts.uncoveredAddresses;
            if (uncovered.size() < kUncoveredKept) {
                uncovered.push_back(addressResults[first].address);
            }
        }
    });
}

std::vector<std::string> uncoveredAddressesOf(const CheckRun& run) {
    std::vector<std::string> uncovered = run.streamedTally.uncovered;
    forEachAddress(run.results, [&](std::size_t first, std::size_t end) {
        if (!covered(run.results, first, end)) {
            uncovered.push_back(run.results[first].address);
        }
    });
    return uncovered;
}

CheckCounts countsOf(const CheckRun& run) {
    ResultTally kept;
    kept.add(run.results);
    CheckCounts counts = kept.counts;
    const CheckCounts& more = run.streamedTally.counts;
    counts.listed += more.listed;
    counts.notListed += more.notListed;
    counts.noAnswer += more.noAnswer;
    counts.listError += more.listError;
    counts.brokenZone += more.brokenZone;
    counts.notCovered += more.notCovered;
    counts.uncoveredAddresses += more.uncoveredAddresses;
    counts.addresses += more.addresses;
    counts.newListings += more.newListings;
    counts.cleared += more.cleared;
    counts.results += more.results;
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
