#pragma once

// How fast the list engine may send questions to a server. A list's server
// reads its socket at its own pace; questions sent faster overflow the
// socket's buffer and are lost without a word, while a slow list merely
// answers late. So the pacer watches loss, not latency:
//   - a window of "young" questions: those sent within the last few round
//     trips of a quick answer and not yet answered. A question older than
//     that has been read by the server or lost; it no longer counts, so a
//     list that answers after 1.9 s gets more questions in flight, not fewer
//     (the engine still bounds all those in flight to a multiple of the
//     window);
//   - the window grows with every answer (doubling per round trip until the
//     first loss, then by one per window) and halves when a question goes
//     missing (unanswered when it is re-asked), once per burst: losses of
//     questions sent before the last cut do not cut again;
//   - a question is re-asked after a few smoothed round trips, early enough
//     for the new copy to be answered within the run's time-out; a re-ask
//     whose first copy is answered after all was no loss, and its cut is
//     undone.

#include <chrono>
#include <cstddef>
#include <optional>

namespace ostrivane {

class QuestionPacer {
  public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::microseconds;

    static constexpr std::size_t kInitialWindow = 64;
    static constexpr std::size_t kMinWindow = 8;
    static constexpr std::size_t kMaxWindow = 4096;

    explicit QuestionPacer(std::chrono::milliseconds timeout);

    std::size_t window() const;
    // How long a question counts as young after it was sent.
    Duration youngAge() const;
    // When a question sent at `sent` with this many copies out (1 or more)
    // should be re-asked; nothing when a new copy could not be answered
    // before `deadline` anyway.
    std::optional<Clock::time_point> reaskAt(Clock::time_point sent, int copies,
                                             Clock::time_point deadline) const;

    // An answer; `roundTrip`: how long ago the copy answered was sent, when
    // that is known. Each copy of a question has its own query id, so the
    // reply says which copy it answers: a re-asked question still gives a
    // sample (a slow list whose every question was re-asked would else never
    // give one, and be re-asked for ever after a third of the time-out).
    void answered(std::optional<Duration> roundTrip);
    // A question sent at `sent` and unanswered at its re-ask time, `now`.
    void lost(Clock::time_point sent, Clock::time_point now);
    // The first copy of a re-asked question was answered after all.
    void notLost();

  private:
    std::chrono::milliseconds m_timeout;
    double m_window = kInitialWindow;
    double m_threshold = kMaxWindow;  // the window doubles per round trip below it
    double m_windowBeforeCut = kInitialWindow;
    std::optional<Duration> m_smoothed;
    Duration m_variation{0};
    Duration m_quickest = Duration::max();
    std::optional<Clock::time_point> m_lastCut;
};

}  // namespace ostrivane
