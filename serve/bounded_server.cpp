#include "serve/bounded_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrivane {

namespace {

using Clock = std::chrono::steady_clock;

// Set on the accepting thread while it turns a connection away.
thread_local bool t_turningAway = false;
// When the connection a worker runs was accepted: its time to send the
// request counts from then, so that idle connections in the queue expire
// together instead of one after another.
thread_local Clock::time_point t_acceptedAt;

constexpr std::string_view kBusyReply =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 22\r\n"
    "Retry-After: 1\r\nConnection: close\r\n\r\ntoo many connections.\n";

// Waits in short steps, so that a stop is seen within a tenth of a second.
bool waitFor(int fd, short events, Clock::time_point deadline, const std::atomic<bool>& stopping) {
    while (!stopping.load()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd entry{fd, events, 0};
        const int ready =
            ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

void addressOf(bool peer, int fd, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(fd, raw, &length) : ::getsockname(fd, raw, &length)) != 0) {
        return;
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

// A connection's socket as the library reads it. The request ends where the
// budget does: the library then sees an end of input and answers 400 or 414
// for a request line or header that went on too long.
class LimitedStream : public httplib::Stream {
  public:
    LimitedStream(int fd, const ServerLimits& limits, Clock::time_point acceptedAt,
                  const std::atomic<bool>& stopping)
        : m_fd(fd),
          m_budget(limits.requestBytes),
          m_readDeadline(acceptedAt + limits.readTime),
          m_writeTime(limits.writeTime),
          m_stopping(stopping) {}

    bool is_readable() const override {
        return m_next < m_buffer.size() || waitFor(m_fd, POLLIN, m_readDeadline, m_stopping);
    }
    bool is_writable() const override {
        return waitFor(m_fd, POLLOUT, Clock::now() + m_writeTime, m_stopping);
    }

    ssize_t read(char* ptr, size_t size) override {
        if (m_next == m_buffer.size()) {
            if (m_budget == 0) {
                return 0;
            }
            if (!is_readable()) {
                return -1;
            }
            m_buffer.resize(std::min<std::size_t>(m_budget, 4096));
            const ssize_t got = ::recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
            if (got <= 0) {
                m_buffer.clear();
                m_next = 0;
                return got;
            }
            m_buffer.resize(static_cast<std::size_t>(got));
            m_next = 0;
            m_budget -= static_cast<std::size_t>(got);
        }
        const std::size_t count = std::min(size, m_buffer.size() - m_next);
        std::copy_n(m_buffer.data() + m_next, count, ptr);
        m_next += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) {
            return -1;
        }
        return ::send(m_fd, ptr, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(true, m_fd, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(false, m_fd, ip, port);
    }
    socket_t socket() const override { return m_fd; }

  private:
    int m_fd;
    std::size_t m_budget;
    Clock::time_point m_readDeadline;
    std::chrono::milliseconds m_writeTime;
    const std::atomic<bool>& m_stopping;
    std::vector<char> m_buffer;
    std::size_t m_next = 0;
};

// A fixed pool of threads with a bounded queue in front; what does not fit
// runs at once on the accepting thread, which only says 503.
class BoundedQueue : public httplib::TaskQueue {
  public:
    BoundedQueue(std::size_t threads, std::size_t queued) : m_queued(queued) {
        for (std::size_t i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { work(); });
        }
    }

    void enqueue(std::function<void()> job) override {
        {
            std::lock_guard lock(m_mutex);
            if (m_jobs.size() < m_queued) {
                m_jobs.push_back({std::move(job), Clock::now()});
                m_wake.notify_one();
                return;
            }
        }
        t_turningAway = true;
        job();
        t_turningAway = false;
    }

    void shutdown() override {
        {
            std::lock_guard lock(m_mutex);
            m_shutdown = true;
        }
        m_wake.notify_all();
        for (auto& thread : m_threads) {
            thread.join();
        }
    }

  private:
    void work() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_shutdown || !m_jobs.empty(); });
                if (m_jobs.empty()) {
                    return;
                }
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            t_acceptedAt = job.acceptedAt;
            job.run();
        }
    }

    std::size_t m_queued;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    struct Job {
        std::function<void()> run;
        Clock::time_point acceptedAt;
    };
    std::deque<Job> m_jobs;
    std::vector<std::thread> m_threads;
    bool m_shutdown = false;
};

}  // namespace

BoundedServer::BoundedServer(const ServerLimits& limits) : m_limits(limits) {
    new_task_queue = [limits] { return new BoundedQueue(limits.threads, limits.queued); };
    set_payload_max_length(limits.bodyBytes);
    set_keep_alive_max_count(1);
}

void BoundedServer::shutDown() {
    m_stopping = true;
    stop();
}

bool BoundedServer::process_and_close_socket(socket_t sock) {
    bool answered = false;
    if (t_turningAway || m_stopping) {
        ::send(sock, kBusyReply.data(), kBusyReply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } else {
        LimitedStream stream(sock, m_limits, t_acceptedAt, m_stopping);
        bool closed = false;
        answered = process_request(stream, true, closed, {});
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return answered;
}

}  // namespace ostrivane
