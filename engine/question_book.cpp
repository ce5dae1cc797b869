#include "engine/question_book.h"

namespace ostrivane {

std::optional<std::chrono::microseconds> roundTripOf(const Question& question, std::uint8_t copy) {
    const auto now = EngineClock::now();
    if (copy + 1 == question.copies) {
        return std::chrono::duration_cast<std::chrono::microseconds>(now - question.lastSent);
    }
    if (copy == 0) {
        return std::chrono::duration_cast<std::chrono::microseconds>(now - question.firstSent);
    }
    return std::nullopt;
}

std::uint32_t QuestionBook::add(QuestionKind kind, std::size_t zone, std::size_t address) {
    std::uint32_t index = 0;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
    } else {
        index = static_cast<std::uint32_t>(m_questions.size());
        m_questions.emplace_back();
    }
    auto& question = m_questions[index];
    const auto generation = question.generation + 1;
    question = Question{};
    question.generation = generation;
    question.kind = kind;
    question.zone = zone;
    question.address = address;
    return index;
}

bool QuestionBook::isOpen(std::uint32_t index, std::uint32_t generation) const {
    const auto& question = m_questions[index];
    return question.generation == generation && question.open;
}

void QuestionBook::open(Question& question, EngineClock::time_point now) {
    question.open = true;
    ++m_open;
    question.firstSent = now;
}

std::uint8_t QuestionBook::addCopy(Question& question, EngineClock::time_point now) {
    const auto copy = question.copies++;
    question.lastSent = now;
    ++question.outstanding;
    question.youngCopies |= static_cast<std::uint8_t>(1U << copy);
    ++m_young;
    question.liveCopies |= static_cast<std::uint8_t>(1U << copy);
    ++m_copiesOut;
    return copy;
}

void QuestionBook::forget(Question& question, std::uint8_t copy) {
    const auto bit = static_cast<std::uint8_t>(1U << copy);
    if ((question.youngCopies & bit) != 0) {
        question.youngCopies = static_cast<std::uint8_t>(question.youngCopies & ~bit);
        --m_young;
    }
}

void QuestionBook::drop(Question& question, std::uint8_t copy) {
    const auto bit = static_cast<std::uint8_t>(1U << copy);
    if ((question.liveCopies & bit) != 0) {
        question.liveCopies = static_cast<std::uint8_t>(question.liveCopies & ~bit);
        --m_copiesOut;
    }
}

void QuestionBook::settle(Question& question) {
    m_open -= question.open ? 1 : 0;  // a reason whose time was up was never sent
    question.open = false;
}

void QuestionBook::release(std::uint32_t index) {
    auto& question = m_questions[index];
    if (!question.open && question.outstanding == 0 && !question.freed) {
        question.freed = true;
        ++question.generation;
        m_free.push_back(index);
    }
}

void QuestionBook::closeAll() {
    for (auto& question : m_questions) {
        question.open = false;
    }
}

}  // namespace ostrivane
