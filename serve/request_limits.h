#pragma once

// How /probe is kept from flooding the lists: a token bucket for the rate
// and a count of probes running at once. Both are safe to share between the
// server's threads.

#include <chrono>
#include <cstddef>
#include <mutex>

namespace ostrivane {

// `rate` tokens a second, at most `burst` saved up; starts full.
class TokenBucket {
  public:
    using Clock = std::chrono::steady_clock;

    TokenBucket(double rate, double burst, Clock::time_point now = Clock::now());

    // Takes one token when there is one.
    bool tryTake(Clock::time_point now = Clock::now());

  private:
    std::mutex m_mutex;
    double m_rate;
    double m_burst;
    double m_tokens;
    Clock::time_point m_last;
};

// At most `limit` holders at once; a holder that cannot get in is turned
// away, never queued.
class ConcurrencyGate {
  public:
    explicit ConcurrencyGate(std::size_t limit);

    class Pass {
      public:
        Pass() = default;
        explicit Pass(ConcurrencyGate* gate) : m_gate(gate) {}
        Pass(Pass&& other) noexcept : m_gate(other.m_gate) { other.m_gate = nullptr; }
        Pass& operator=(Pass&&) = delete;
        ~Pass();
        explicit operator bool() const { return m_gate != nullptr; }

      private:
        ConcurrencyGate* m_gate = nullptr;
    };

    // An empty pass when `limit` holders are in already.
    Pass tryEnter();

  private:
    std::mutex m_mutex;
    std::size_t m_limit;
    std::size_t m_inside = 0;
};

}  // namespace ostrivane
