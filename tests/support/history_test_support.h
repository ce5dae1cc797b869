#pragma once

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "history/history_store.h"
#include "support/check_runs.h"
#include "support/temp_dir.h"

namespace ostrivane::testing {

constexpr EpochMs kHourMs = 60 * 60 * 1000;
// 2026-12-01 00:00 UTC.
constexpr EpochMs kDecember1 = 1796083200000;

inline CheckResult resultOf(std::string address, std::string zone, CheckVerdict verdict,
                            std::string reason = {}) {
    return resultWithReason(std::move(address), std::move(zone), verdict,
                            reason.empty() ? "listed for testing" : std::move(reason));
}

inline CheckRun runOf(EpochMs at, std::vector<CheckResult> results) {
    CheckRun run;
    run.startedAt = at;
    run.durationMs = 42;
    for (const auto& result : results) {
        bool known = false;
        for (const auto& zone : run.zones) {
            known = known || zone.zone == result.zone;
        }
        if (!known) {
            run.zones.push_back({result.zone, "", ZoneHealth::Healthy});
        }
    }
    run.results = std::move(results);
    return run;
}

inline HistoryStore openStore(const std::filesystem::path& path) {
    auto opened = HistoryStore::open(path);
    if (const auto* problem = std::get_if<HistoryProblem>(&opened)) {
        ADD_FAILURE() << problem->message();
        std::abort();
    }
    return std::move(std::get<HistoryStore>(opened));
}

// annotate + record, as a check run does; returns the annotated run.
inline CheckRun checkRun(HistoryStore& store, CheckRun run) {
    EXPECT_EQ(store.annotate(run), std::nullopt);
    EXPECT_EQ(store.record(run), std::nullopt);
    return run;
}

// A store of its own in a scratch folder; both go with the test.
class ScratchStore : private TempDir, public HistoryStore {
  public:
    ScratchStore() : HistoryStore(openStore(TempDir::path() / "history.sqlite")) {}
    using HistoryStore::path;
};

inline std::vector<ListingPeriod> periodsOf(const HistoryStore& store,
                                            const std::vector<std::string>& addresses = {}) {
    auto periods = store.timeline(addresses);
    if (const auto* problem = std::get_if<HistoryProblem>(&periods)) {
        ADD_FAILURE() << problem->message();
        return {};
    }
    return std::get<std::vector<ListingPeriod>>(periods);
}

}  // namespace ostrivane::testing

namespace ostrivane {
inline bool operator==(const HistoryProblem& a, const HistoryProblem& b) {
    return a.path == b.path && a.reason == b.reason;
}
inline void PrintTo(const HistoryProblem& problem, std::ostream* out) {
    *out << problem.message();
}
inline void PrintTo(const ListingPeriod& period, std::ostream* out) {
    *out << period.address << ' ' << period.zone << ' ' << period.from << " to "
         << (period.to ? std::to_string(*period.to) : "now") << " \"" << period.reason << '"';
}
}  // namespace ostrivane
