#pragma once

// A fixed number of threads answering accepted connections, and a bounded
// queue of those waiting for a thread. What does not fit is refused, so that
// the accepting thread can turn it away at once.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrivane {

class ConnectionPool {
  public:
    using Clock = std::chrono::steady_clock;
    using Answer = std::function<void(int connection, Clock::time_point acceptedAt)>;

    ConnectionPool(std::size_t threads, std::size_t queued, Answer answer);
    // Answers what is still queued, then ends the threads.
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // Queues the connection for the next free thread; false when the queue is
    // full, and the connection stays the caller's.
    bool offer(int connection, Clock::time_point acceptedAt);

  private:
    struct Waiting {
        int connection;
        Clock::time_point acceptedAt;
    };

    void work();

    std::size_t m_queued;
    Answer m_answer;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Waiting> m_waiting;
    bool m_ending = false;
    std::vector<std::thread> m_threads;
};

}  // namespace ostrivane
