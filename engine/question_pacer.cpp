#include "engine/question_pacer.h"

#include <algorithm>

namespace ostrivane {

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// Young for two quick round trips, but at least 2 ms (a busy machine's
// scheduling) and at most 10 ms, so that a slow list is still asked at
// the window's size every 10 ms.
constexpr microseconds kMinYoung = milliseconds(2);
constexpr microseconds kMaxYoung = milliseconds(10);
// Never re-asked sooner than this, whatever the round trips say.
constexpr microseconds kMinReask = milliseconds(10);

}  // namespace

QuestionPacer::QuestionPacer(milliseconds timeout) : m_timeout(timeout) {}

std::size_t QuestionPacer::window() const {
    return static_cast<std::size_t>(m_window);
}

QuestionPacer::Duration QuestionPacer::youngAge() const {
    if (m_quickest == Duration::max()) {
        return std::max(kMinYoung, kMaxYoung / 2);
    }
    return std::clamp(m_quickest * 2, kMinYoung, kMaxYoung);
}

std::optional<QuestionPacer::Clock::time_point> QuestionPacer::reaskAt(
    Clock::time_point sent, int copies, Clock::time_point deadline) const {
    // Before any answer: a third of the time-out, as a resolver would wait.
    Duration wait = std::chrono::duration_cast<Duration>(m_timeout) / 3;
    Duration expected = wait;
    if (m_smoothed) {
        wait = std::max(kMinReask, *m_smoothed + 4 * m_variation);
        expected = *m_smoothed;
    }
    wait *= 1 << std::clamp(copies - 1, 0, 5);
    const auto at = sent + wait;
    if (at + expected >= deadline) {
        return std::nullopt;
    }
    return at;
}

void QuestionPacer::answered(std::optional<Duration> sample) {
    if (sample) {
        const Duration roundTrip = *sample;
        m_quickest = std::min(m_quickest, roundTrip);
        if (!m_smoothed) {
            m_smoothed = roundTrip;
            m_variation = roundTrip / 2;
        } else {
            const auto error =
                roundTrip > *m_smoothed ? roundTrip - *m_smoothed : *m_smoothed - roundTrip;
            m_variation = (3 * m_variation + error) / 4;
            m_smoothed = (7 * *m_smoothed + roundTrip) / 8;
        }
    }
    m_window += m_window < m_threshold ? 1.0 : 1.0 / m_window;
    m_window = std::min(m_window, static_cast<double>(kMaxWindow));
}

void QuestionPacer::lost(Clock::time_point sent, Clock::time_point now) {
    if (m_lastCut && sent <= *m_lastCut) {
        // Sent before the last cut: lost in the burst that cut already
        // answered. Cutting again for each of its losses, found one by one at
        // their re-ask times, would shrink the window to nothing.
        return;
    }
    m_lastCut = now;
    m_windowBeforeCut = m_window;
    m_window = std::max(static_cast<double>(kMinWindow), m_window / 2);
    m_threshold = m_window;
}

void QuestionPacer::notLost() {
    m_window = std::max(m_window, m_windowBeforeCut);
    m_threshold = std::max(m_threshold, m_windowBeforeCut);
}

}  // namespace ostrivane
