#include "engine/question_pacer.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

using namespace std::chrono_literals;
using Clock = QuestionPacer::Clock;
using std::chrono::microseconds;

// Answers and losses in turn, and the window they leave.
struct WindowCase {
    const char* what;
    int answers;         // answered, each 100 us after it was sent
    int lossesApart;     // losses, each a second after the one before
    std::size_t window;  // the window after them
};

TEST(QuestionPacer, WindowGrowsWithAnswersAndHalvesOnLoss) {
    const auto initial = QuestionPacer::kInitialWindow;
    const WindowCase cases[] = {
        {"nothing yet", 0, 0, initial},
        {"each answer adds one", 10, 0, initial + 10},
        {"never above the most", 100000, 0, QuestionPacer::kMaxWindow},
        {"a loss halves", 0, 1, initial / 2},
        {"losses far apart halve each time", 0, 2, initial / 4},
        {"never below the least", 0, 20, QuestionPacer::kMinWindow},
    };
    for (const auto& c : cases) {
        QuestionPacer pacer(2000ms);
        for (int i = 0; i < c.answers; ++i) {
            pacer.answered(100us);
        }
        auto now = Clock::now();
        for (int i = 0; i < c.lossesApart; ++i) {
            now += 1s;
            pacer.lost(now - 10ms, now);
        }
        EXPECT_EQ(pacer.window(), c.window) << c.what;
    }
}

TEST(QuestionPacer, LossesOfOneBurstCutOnceAndAnEarlyReaskIsUndone) {
    QuestionPacer pacer(2000ms);
    pacer.answered(5ms);
    const auto before = pacer.window();
    const auto now = Clock::now();
    pacer.lost(now - 10ms, now);
    // The same burst, found lost one by one at their re-ask times, however
    // long after the cut: sent before it.
    pacer.lost(now - 9ms, now + 1ms);
    pacer.lost(now - 1ms, now + 50ms);
    EXPECT_EQ(pacer.window(), before / 2);
    pacer.notLost();  // the first copy was answered after all
    EXPECT_EQ(pacer.window(), before);
    // A question sent after the cut and lost: a new burst, a new cut.
    pacer.lost(now + 2ms, now + 20ms);
    EXPECT_EQ(pacer.window(), before / 2);
    // After the cut the window grows by one per window of answers.
    const auto cut = pacer.window();
    for (std::size_t i = 0; i < cut; ++i) {
        pacer.answered(5ms);
    }
    EXPECT_EQ(pacer.window(), cut + 1);
}

// Latency is not load: a list that answers after 1.9 s keeps its window,
// its questions stop counting as young after at most 10 ms, and it is never
// re-asked when a new copy could not come back within the time-out.
TEST(QuestionPacer, SlowAnswersNeitherShrinkTheWindowNorCauseUselessReasks) {
    QuestionPacer pacer(2000ms);
    const auto sent = Clock::now();
    const auto deadline = sent + 2000ms;
    // Before any answer: re-asked after a third of the time-out.
    ASSERT_TRUE(pacer.reaskAt(sent, 1, deadline).has_value());
    EXPECT_EQ(*pacer.reaskAt(sent, 1, deadline) - sent, microseconds(666666));
    for (int i = 0; i < 100; ++i) {
        pacer.answered(1900ms);
    }
    EXPECT_EQ(pacer.window(), QuestionPacer::kInitialWindow + 100);
    EXPECT_LE(pacer.youngAge(), 10ms);
    EXPECT_FALSE(pacer.reaskAt(sent, 1, deadline).has_value());

    // A quick list: re-asked after a few round trips (at least 10 ms), later
    // for each further copy, and only while the copy can still count.
    QuestionPacer quick(2000ms);
    for (int i = 0; i < 10; ++i) {
        quick.answered(200us);
    }
    EXPECT_GE(quick.youngAge(), 2ms);
    const auto first = *quick.reaskAt(sent, 1, deadline) - sent;
    const auto second = *quick.reaskAt(sent, 2, deadline) - sent;
    EXPECT_GE(first, 10ms);
    EXPECT_EQ(second, 2 * first);
    EXPECT_FALSE(quick.reaskAt(sent, 1, sent + 5ms).has_value());
}

}  // namespace
}  // namespace ostrivane
