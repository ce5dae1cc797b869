#pragma once

// When the list engine must look at a question again: its deadline, its next
// re-ask, and the moment each copy stops counting as young; and the questions
// waiting to be sent ahead of the addresses' (re-asks, then test points and
// reasons). Each entry names a question by index and generation, so that one
// settled in the meantime (its slot perhaps used again) is passed over.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <queue>
#include <utility>
#include <vector>

#include "engine/question_book.h"

namespace ostrivane {

enum class QuestionEventKind : std::uint8_t { Reask, Deadline };

struct QuestionEvent {
    EngineClock::time_point at;
    std::uint32_t question;
    std::uint32_t generation;
    QuestionEventKind kind;
    std::uint8_t copies;  // Reask: the copies out when it was planned
    bool operator>(const QuestionEvent& other) const { return at > other.at; }
};

class QuestionSchedule {
  public:
    // The question's deadline, planned when its first copy is sent.
    void planDeadline(std::uint32_t index, const Question& question);
    // A re-ask at `at`, unless more copies are out by then.
    void planReask(EngineClock::time_point at, std::uint32_t index, const Question& question);
    // A copy sent at `sent`: young until the pacer's young age has passed.
    void addYoung(EngineClock::time_point sent, std::uint32_t index, const Question& question,
                  std::uint8_t copy);
    // The copies sent `age` ago or earlier stop counting as young.
    void ageYoung(EngineClock::time_point now, EngineClock::duration age, QuestionBook& book);

    // The next open question whose deadline has come; the deadlines of the
    // questions settled already leave on the way.
    std::optional<std::uint32_t> dueDeadline(EngineClock::time_point now, const QuestionBook& book);
    // The next event that has come of an open question.
    std::optional<QuestionEvent> dueEvent(EngineClock::time_point now, const QuestionBook& book);

    // The question is to be asked again before any other.
    void reaskNext(std::uint32_t index, std::uint32_t generation);
    // A test point or a reason, to be asked before the addresses.
    void askSoon(std::uint32_t index) { m_soon.push_back(index); }
    // The next open question to ask again, if any.
    std::optional<std::uint32_t> nextReask(const QuestionBook& book);
    // The next test point or reason, if any.
    std::optional<std::uint32_t> nextSoon();
    // No question waits to be sent ahead of the addresses.
    bool nothingWaiting() const { return m_soon.empty() && m_reask.empty(); }

    // When to look again at the latest: a time-out from now, or the first
    // deadline or event, or, while the young copies fill the window, when
    // the oldest of them stops counting.
    EngineClock::time_point nextWake(EngineClock::time_point now, EngineClock::duration timeout,
                                     bool windowFull, EngineClock::duration youngAge) const;

  private:
    struct YoungCopy {
        EngineClock::time_point sent;
        std::uint32_t question;
        std::uint32_t generation;
        std::uint8_t copy;
    };

    std::deque<std::uint32_t> m_soon;  // test points and reasons, not yet sent
    std::deque<std::pair<std::uint32_t, std::uint32_t>> m_reask;  // question, generation
    // Re-asks, and the deadlines of TXT questions (their own question's).
    std::priority_queue<QuestionEvent, std::vector<QuestionEvent>, std::greater<>> m_events;
    // The deadlines of the other questions, in sending order, which is their
    // order: a deadline per question in the heap would keep a whole time-out's
    // worth of them (some 20 MB in a large run), answered or not.
    std::deque<QuestionEvent> m_deadlines;
    std::deque<YoungCopy> m_young;
};

}  // namespace ostrivane
