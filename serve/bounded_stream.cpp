#include "serve/bounded_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace ostrivane {

namespace {

using Clock = BoundedStream::Clock;

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

}  // namespace

BoundedStream::BoundedStream(int connection, std::size_t budget, Clock::time_point readDeadline,
                             std::chrono::milliseconds writeTime, const std::atomic<bool>& stopping)
    : m_connection(connection),
      m_budget(budget),
      m_readDeadline(readDeadline),
      m_writeTime(writeTime),
      m_stopping(stopping) {}

bool BoundedStream::is_readable() const {
    return m_next < m_buffer.size() || waitFor(m_connection, POLLIN, m_readDeadline, m_stopping);
}

bool BoundedStream::is_writable() const {
    return waitFor(m_connection, POLLOUT, Clock::now() + m_writeTime, m_stopping);
}

ssize_t BoundedStream::read(char* ptr, size_t size) {
    if (m_next == m_buffer.size()) {
        if (m_budget == 0) {
            return 0;
        }
        if (!is_readable()) {
            return -1;
        }
        m_buffer.resize(std::min<std::size_t>(m_budget, 4096));
        const ssize_t got = ::recv(m_connection, m_buffer.data(), m_buffer.size(), 0);
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

ssize_t BoundedStream::write(const char* ptr, size_t size) {
    if (!is_writable()) {
        return -1;
    }
    return ::send(m_connection, ptr, size, MSG_NOSIGNAL);
}

void BoundedStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    addressOf(true, m_connection, ip, port);
}

void BoundedStream::get_local_ip_and_port(std::string& ip, int& port) const {
    addressOf(false, m_connection, ip, port);
}

}  // namespace ostrivane
