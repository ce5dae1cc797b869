#pragma once

// The list engine's questions, kept by index: c-ares holds an index and a copy
// number for each question sent, never a pointer, and a slot is used again
// once the question is settled and c-ares holds none of its copies. Each
// question counts its copies: those c-ares still holds, those the pacer still
// counts as young, and those counted in flight (not yet given up as lost).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostrivane {

using EngineClock = std::chrono::steady_clock;

enum class QuestionKind : std::uint8_t {
    Probe,        // a zone's test point
    Address,      // an address of the run
    Reason,       // the TXT record beside an address's answer
    ProbeReason,  // the TXT record beside an error code at a test point
};

struct Question {
    QuestionKind kind = QuestionKind::Address;
    std::uint8_t point = 0;        // Probe, ProbeReason: family * 2 + point
    std::uint8_t copies = 0;       // sent so far
    std::uint8_t outstanding = 0;  // copies c-ares still holds
    std::uint8_t youngCopies = 0;  // bit per copy still counted by the pacer
    std::uint8_t liveCopies = 0;   // bit per copy counted in flight: not yet given up as lost
    bool open = false;
    bool freed = false;
    bool unproven = false;  // counted in its zone's unproven questions
    std::uint32_t generation = 0;
    std::size_t zone = 0;
    std::size_t address = 0;  // Address, Reason
    EngineClock::time_point firstSent{};
    EngineClock::time_point lastSent{};
    EngineClock::time_point deadline{};

    bool isReason() const {
        return kind == QuestionKind::Reason || kind == QuestionKind::ProbeReason;
    }
    bool asksTestPoint() const {
        return kind == QuestionKind::Probe || kind == QuestionKind::ProbeReason;
    }
};

// How long the copy answered was out, when that is known: the first and the
// last copy's sending times are kept.
std::optional<std::chrono::microseconds> roundTripOf(const Question& question, std::uint8_t copy);

class QuestionBook {
  public:
    // A new question in a free slot, of a generation its slot has not had.
    std::uint32_t add(QuestionKind kind, std::size_t zone, std::size_t address);

    Question& operator[](std::uint32_t index) { return m_questions[index]; }
    const Question& operator[](std::uint32_t index) const { return m_questions[index]; }

    // True while the slot holds that generation of a question and it is not settled.
    bool isOpen(std::uint32_t index, std::uint32_t generation) const;

    // The first copy of a question is about to be sent: it is open from now on.
    void open(Question& question, EngineClock::time_point now);
    // A copy is about to be sent: it is young, in flight and held by c-ares.
    // Returns the copy's number.
    std::uint8_t addCopy(Question& question, EngineClock::time_point now);
    // The copy no longer counts as young.
    void forget(Question& question, std::uint8_t copy);
    // The copy is given up as lost and no longer counts in flight, though
    // c-ares holds it until its own time-out: lost copies must not stop the
    // re-asks.
    void drop(Question& question, std::uint8_t copy);
    // The question has its answer, or has none to wait for any more.
    void settle(Question& question);
    // The slot is free again once the question is settled and c-ares holds
    // none of its copies.
    void release(std::uint32_t index);
    // Before the channel ends: it calls back every copy still out, and none
    // of them may settle its question.
    void closeAll();

    std::size_t young() const { return m_young; }
    std::size_t copiesOut() const { return m_copiesOut; }
    std::size_t openCount() const { return m_open; }

  private:
    std::vector<Question> m_questions;
    std::vector<std::uint32_t> m_free;
    std::size_t m_young = 0;
    std::size_t m_copiesOut = 0;
    std::size_t m_open = 0;  // questions sent and not settled
};

}  // namespace ostrivane
