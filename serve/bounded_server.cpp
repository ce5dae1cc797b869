#include "serve/bounded_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <thread>

#include "serve/bounded_stream.h"
#include "serve/connection_pool.h"

// Each request is read through Server::process_request, the member through
// which the library's subclasses answer a request read from a stream of their
// own; its form and what it leaves to the stream are this version's.
static_assert(std::string_view(CPPHTTPLIB_VERSION) == "0.11.4",
              "serve/ is written for cpp-httplib 0.11.4: see \"Where the code works around a "
              "library\" in docs/development.md before building it with another version");

namespace ostrivane {

namespace {

constexpr std::string_view kBusyReply =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: 22\r\n"
    "Retry-After: 1\r\nConnection: close\r\n\r\ntoo many connections.\n";

// How often the accepting loop looks whether it is to stop.
constexpr int kStopCheckMs = 100;

void closeConnection(int connection) {
    ::shutdown(connection, SHUT_RDWR);
    ::close(connection);
}

void turnAway(int connection) {
    ::send(connection, kBusyReply.data(), kBusyReply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    closeConnection(connection);
}

// A listening socket for one of the address's forms, set up as the library
// sets up its own: the port may be shared with a listener of the same user
// (so that a restart binds while the previous exporter's connections linger),
// and an IPv6 address takes IPv4 connections too.
int listenOn(const addrinfo& address, int backlog) {
    // Not blocking: a connection gone between poll and accept must not hold
    // the accepting loop from seeing a stop.
    const int listener = ::socket(
        address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol);
    if (listener < 0) {
        return -1;
    }
    const int yes = 1;
    const int no = 0;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
    if (address.ai_family == AF_INET6) {
        ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
    }
    if (::bind(listener, address.ai_addr, address.ai_addrlen) != 0 ||
        ::listen(listener, backlog) != 0) {
        ::close(listener);
        return -1;
    }
    return listener;
}

}  // namespace

BoundedServer::BoundedServer(const ServerLimits& limits) : m_limits(limits) {
    set_payload_max_length(limits.bodyBytes);
}

BoundedServer::~BoundedServer() {
    if (m_listener >= 0) {
        ::close(m_listener);
    }
}

bool BoundedServer::bindTo(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return false;
    }
    // The kernel holds no more connections for us than our own queue does.
    const int backlog = static_cast<int>(m_limits.queued);
    for (const addrinfo* each = found; each != nullptr && m_listener < 0; each = each->ai_next) {
        m_listener = listenOn(*each, backlog);
    }
    ::freeaddrinfo(found);
    return m_listener >= 0;
}

void BoundedServer::serve() {
    ConnectionPool pool(
        m_limits.threads, m_limits.queued,
        [this](int connection, Clock::time_point acceptedAt) { answer(connection, acceptedAt); });
    while (!m_stopping.load()) {
        pollfd entry{m_listener, POLLIN, 0};
        if (::poll(&entry, 1, kStopCheckMs) <= 0) {
            continue;
        }
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            if (!pool.offer(connection, Clock::now())) {
                turnAway(connection);
            }
        } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // The connection waits in the kernel's queue until a descriptor is free.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

void BoundedServer::shutDown() {
    m_stopping = true;
}

void BoundedServer::answer(int connection, Clock::time_point acceptedAt) {
    if (m_stopping.load()) {
        turnAway(connection);
        return;
    }
    // The time to send the request counts from the acceptance, so that idle
    // connections in the queue expire together instead of one after another.
    BoundedStream stream(connection, m_limits.requestBytes, acceptedAt + m_limits.readTime,
                         m_limits.writeTime, m_stopping);
    bool closed = false;
    process_request(stream, true, closed, {});
    closeConnection(connection);
}

}  // namespace ostrivane
