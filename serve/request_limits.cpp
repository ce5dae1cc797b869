#include "serve/request_limits.h"

#include <algorithm>

namespace ostrivane {

TokenBucket::TokenBucket(double rate, double burst, Clock::time_point now)
    : m_rate(rate), m_burst(burst), m_tokens(burst), m_last(now) {}

bool TokenBucket::tryTake(Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (now > m_last) {
        const std::chrono::duration<double> elapsed = now - m_last;
        m_tokens = std::min(m_burst, m_tokens + elapsed.count() * m_rate);
        m_last = now;
    }
    if (m_tokens < 1.0) {
        return false;
    }
    m_tokens -= 1.0;
    return true;
}

ConcurrencyGate::ConcurrencyGate(std::size_t limit) : m_limit(limit) {}

ConcurrencyGate::Pass ConcurrencyGate::tryEnter() {
    std::lock_guard lock(m_mutex);
    if (m_inside >= m_limit) {
        return Pass();
    }
    ++m_inside;
    return Pass(this);
}

ConcurrencyGate::Pass::~Pass() {
    if (m_gate != nullptr) {
        std::lock_guard lock(m_gate->m_mutex);
        --m_gate->m_inside;
    }
}

}  // namespace ostrivane
