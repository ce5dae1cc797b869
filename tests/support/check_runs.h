#pragma once

// Check runs made by hand, for the tests of what is printed and of the status.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "results/check_options.h"
#include "results/check_result.h"

namespace ostrivane::testing {

// One result of a zone about an address; a listing answers 127.0.0.2 and
// gives `reason` as the list's TXT.
inline CheckResult resultWithReason(std::string address, std::string zone, CheckVerdict verdict,
                                    std::string reason) {
    CheckResult r;
    r.target = address;
    r.address = std::move(address);
    r.zone = std::move(zone);
    r.verdict = verdict;
    if (verdict == CheckVerdict::Listed) {
        r.answers = {"127.0.0.2"};
        r.reason = std::move(reason);
    }
    return r;
}

// A result whose listing reason holds what a terminal must not receive.
inline CheckResult result(std::string address, std::string zone, CheckVerdict verdict,
                          std::optional<ListingChange> change = std::nullopt,
                          std::optional<EpochMs> since = std::nullopt) {
    CheckResult r = resultWithReason(std::move(address), std::move(zone), verdict,
                                     "see\x1b[2J https://bl.test/\n");
    r.change = change;
    r.since = since;
    return r;
}

inline CheckRun runOf(std::vector<CheckResult> results, std::vector<std::string> unresolved = {}) {
    CheckRun run;
    run.startedAt = 1796659962000;  // 2026-12-07T16:12:42Z
    run.durationMs = 81;
    run.zones = {{"bl.test", "Test", ZoneHealth::Healthy},
                 {"dead.test", "", ZoneHealth::EmptyOrDead}};
    run.results = std::move(results);
    run.unresolvedTargets = std::move(unresolved);
    return run;
}

inline CheckOptions optionsFor(CheckFormat format, bool changes = false) {
    CheckOptions options;
    options.format = format;
    options.changes = changes;
    return options;
}

}  // namespace ostrivane::testing
