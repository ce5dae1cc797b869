#include "core/verdict.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

struct VerdictCase {
    Resolution answer;
    RowVerdictKind kind;
    std::string_view text;
    RowHighlight highlight;
};

class VerdictTest : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictTest, ClassifiesTheAnswer) {
    const auto& c = GetParam();
    const RowVerdict verdict = verdictFor(c.answer);
    EXPECT_EQ(verdict.kind, c.kind);
    EXPECT_EQ(verdict.text, c.text);
    EXPECT_EQ(verdict.highlight, c.highlight);
    EXPECT_EQ(verdictKindOf(verdict.text), c.kind);
}

using A = std::array<std::uint8_t, 4>;

INSTANTIATE_TEST_SUITE_P(
    Answers, VerdictTest,
    ::testing::Values(VerdictCase{{ResolveStatus::Resolved, A{127, 0, 0, 2}},
                                  RowVerdictKind::Listed,
                                  "Listed: 127.0.0.2",
                                  RowHighlight::Listed},
                      VerdictCase{{ResolveStatus::Resolved, A{127, 255, 254, 255}},
                                  RowVerdictKind::Listed,
                                  "Listed: 127.255.254.255",
                                  RowHighlight::Listed},
                      // Outside 127.0.0.0/8 no list answers: an error.
                      VerdictCase{{ResolveStatus::Resolved, A{10, 1, 2, 3}},
                                  RowVerdictKind::ListError,
                                  "List error: 10.1.2.3",
                                  RowHighlight::Plain},
                      VerdictCase{{ResolveStatus::Resolved, A{0, 0, 0, 0}},
                                  RowVerdictKind::ListError,
                                  "List error: 0.0.0.0",
                                  RowHighlight::Plain},
                      VerdictCase{{ResolveStatus::Resolved, A{128, 0, 0, 2}},
                                  RowVerdictKind::ListError,
                                  "List error: 128.0.0.2",
                                  RowHighlight::Plain},
                      VerdictCase{{ResolveStatus::Resolved, A{127, 255, 255, 254}},
                                  RowVerdictKind::ListError,
                                  "List error: 127.255.255.254",
                                  RowHighlight::Plain},
                      VerdictCase{{ResolveStatus::NotFound, {}},
                                  RowVerdictKind::NotListed,
                                  "Not Found",
                                  RowHighlight::Plain},
                      VerdictCase{{ResolveStatus::NoAnswer, {}},
                                  RowVerdictKind::NoAnswer,
                                  "Lookup failed",
                                  RowHighlight::Plain}));

}  // namespace
}  // namespace ostrivane
