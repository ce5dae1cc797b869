#include "engine/question_schedule.h"

#include <algorithm>

namespace ostrivane {

void QuestionSchedule::planDeadline(std::uint32_t index, const Question& question) {
    const QuestionEvent deadline{question.deadline, index, question.generation,
                                 QuestionEventKind::Deadline, 0};
    if (question.isReason()) {
        m_events.push(deadline);  // its own question's deadline, not in sending order
    } else {
        m_deadlines.push_back(deadline);
    }
}

void QuestionSchedule::planReask(EngineClock::time_point at, std::uint32_t index,
                                 const Question& question) {
    m_events.push({at, index, question.generation, QuestionEventKind::Reask, question.copies});
}

void QuestionSchedule::addYoung(EngineClock::time_point sent, std::uint32_t index,
                                const Question& question, std::uint8_t copy) {
    m_young.push_back({sent, index, question.generation, copy});
}

void QuestionSchedule::ageYoung(EngineClock::time_point now, EngineClock::duration age,
                                QuestionBook& book) {
    while (!m_young.empty() && now - m_young.front().sent >= age) {
        const auto entry = m_young.front();
        m_young.pop_front();
        auto& question = book[entry.question];
        if (question.generation == entry.generation) {
            book.forget(question, entry.copy);
        }
    }
}

std::optional<std::uint32_t> QuestionSchedule::dueDeadline(EngineClock::time_point now,
                                                           const QuestionBook& book) {
    while (!m_deadlines.empty()) {
        const auto event = m_deadlines.front();
        const bool open = book.isOpen(event.question, event.generation);
        if (open && event.at > now) {
            break;
        }
        m_deadlines.pop_front();
        if (open) {
            return event.question;
        }
    }
    return std::nullopt;
}

std::optional<QuestionEvent> QuestionSchedule::dueEvent(EngineClock::time_point now,
                                                        const QuestionBook& book) {
    while (!m_events.empty() && m_events.top().at <= now) {
        const auto event = m_events.top();
        m_events.pop();
        if (book.isOpen(event.question, event.generation)) {
            return event;
        }
    }
    return std::nullopt;
}

void QuestionSchedule::reaskNext(std::uint32_t index, std::uint32_t generation) {
    m_reask.push_back({index, generation});
}

std::optional<std::uint32_t> QuestionSchedule::nextReask(const QuestionBook& book) {
    while (!m_reask.empty()) {
        const auto [index, generation] = m_reask.front();
        m_reask.pop_front();
        if (book.isOpen(index, generation)) {
            return index;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> QuestionSchedule::nextSoon() {
    if (m_soon.empty()) {
        return std::nullopt;
    }
    const auto index = m_soon.front();
    m_soon.pop_front();
    return index;
}

EngineClock::time_point QuestionSchedule::nextWake(EngineClock::time_point now,
                                                   EngineClock::duration timeout, bool windowFull,
                                                   EngineClock::duration youngAge) const {
    auto wake = now + timeout;
    if (!m_deadlines.empty()) {
        wake = std::min(wake, m_deadlines.front().at);
    }
    if (!m_events.empty()) {
        wake = std::min(wake, m_events.top().at);
    }
    if (!m_young.empty() && windowFull) {
        wake = std::min(wake, m_young.front().sent + youngAge);
    }
    return wake;
}

}  // namespace ostrivane
