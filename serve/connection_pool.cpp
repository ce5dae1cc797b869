#include "serve/connection_pool.h"

namespace ostrivane {

ConnectionPool::ConnectionPool(std::size_t threads, std::size_t queued, Answer answer)
    : m_queued(queued), m_answer(std::move(answer)) {
    for (std::size_t i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] { work(); });
    }
}

ConnectionPool::~ConnectionPool() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    for (auto& thread : m_threads) {
        thread.join();
    }
}

bool ConnectionPool::offer(int connection, Clock::time_point acceptedAt) {
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting.size() >= m_queued) {
            return false;
        }
        m_waiting.push_back({connection, acceptedAt});
    }
    m_wake.notify_one();
    return true;
}

void ConnectionPool::work() {
    for (;;) {
        Waiting next{};
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_ending || !m_waiting.empty(); });
            if (m_waiting.empty()) {
                return;
            }
            next = m_waiting.front();
            m_waiting.pop_front();
        }
        m_answer(next.connection, next.acceptedAt);
    }
}

}  // namespace ostrivane
