#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/resolver.h"

namespace ostrivane {

// How long the window and the one-host check wait, in all, for the test
// points of every list after the run.
inline constexpr std::chrono::milliseconds kTestPointBound{2000};

// What a list answered about its IPv4 test points (RFC 5782: a working list
// lists 127.0.0.2 and not 127.0.0.1). A question still out when the wait
// ended stays NoAnswer.
struct TestPointAnswers {
    Resolution for127_0_0_2;
    Resolution for127_0_0_1;
};

// The row text of a list that its test points show broken, or nothing for a
// working list, by core's zone health rule (core/zone_health.h):
//   lists 127.0.0.1                   "List error: lists everything"
//   an error code for a test point    "List error: " and the code, as a row
//                                     reads when the host's own question gets it
//   anything else but a working list  "List error: not a working list"
std::optional<std::string> brokenListText(const TestPointAnswers& answers);

// Asks lists about their test points: every question at once, one thread
// each, through the resolver the threads share; the wait is bounded, and a
// question that outlives it is left to run on its own. The threads own what
// they use (the resolver and their answers' slot), so the caller may return,
// and the process end, while one is still stuck in the resolver.
class TestPointAsker {
  public:
    explicit TestPointAsker(std::shared_ptr<Resolver> resolver,
                            std::chrono::milliseconds bound = kTestPointBound);

    // The answers of each zone, in the zones' order, once all have come or
    // the bound has passed. `keepWaiting` is called every few milliseconds
    // while questions are out (the window handles its events there); when it
    // returns false the wait ends at once and nothing is returned.
    std::optional<std::vector<TestPointAnswers>> ask(
        const std::vector<std::string>& zones, const std::function<bool()>& keepWaiting) const;

  private:
    std::shared_ptr<Resolver> m_resolver;
    std::chrono::milliseconds m_bound;
};

}  // namespace ostrivane
