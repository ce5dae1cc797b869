#include "results/threshold_range.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace ostrivane {
namespace {

// The Monitoring Plugins' rules: which listing counts call for the state.
TEST(ThresholdRange, AlertsAsThePluginsRangeSyntaxSays) {
    struct Case {
        const char* text;
        std::vector<int> alerting;  // of the values 0..6
    };
    const Case cases[] = {
        {"0", {1, 2, 3, 4, 5, 6}},  // the default: any listing
        {"2", {3, 4, 5, 6}},        // above 2
        {"3:", {0, 1, 2}},          // below 3
        {"~:2", {3, 4, 5, 6}},      // above 2, no lower end
        {"1:4", {0, 5, 6}},         // outside 1..4
        {"@1:4", {1, 2, 3, 4}},     // inside 1..4
        {"@0", {0}},                // inside 0..0: nothing listed
        {":3", {4, 5, 6}},          // an empty start is 0
        {"~:", {}},                 // everything is fine
        {"2.5", {3, 4, 5, 6}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        const auto parsed = parseThresholdRange(test.text);
        ASSERT_TRUE(std::holds_alternative<ThresholdRange>(parsed))
            << std::get<std::string>(parsed);
        const auto& range = std::get<ThresholdRange>(parsed);
        EXPECT_EQ(range.text, test.text);
        std::vector<int> alerting;
        for (int value = 0; value <= 6; ++value) {
            if (alerts(range, value)) {
                alerting.push_back(value);
            }
        }
        EXPECT_EQ(alerting, test.alerting);
    }
}

TEST(ThresholdRange, RefusesWhatIsNotARangeAndSaysWhy) {
    for (const char* text : {"", "x", "1:x", "@", "5:1", "1:2:3", "+1", "inf", "1e999", "~"}) {
        SCOPED_TRACE(text);
        const auto parsed = parseThresholdRange(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
        EXPECT_NE(std::get<std::string>(parsed).find(std::string("\"") + text + "\""),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace ostrivane
