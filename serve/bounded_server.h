#pragma once

// The exporter's HTTP server: cpp-httplib's routes and request parsing behind
// an accepting loop of our own, with bounds on everything a client controls:
// one request per connection, a byte budget and a deadline for reading it, a
// fixed number of worker threads and a bounded queue of waiting connections;
// a connection beyond the queue gets 503 at once.
//
// The library's own loop (listen) cannot bound a request's line and headers
// while reading them, so it is never started: see "Where the code works
// around a library" in docs/development.md.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace ostrivane {

struct ServerLimits {
    std::size_t threads = 8;
    std::size_t queued = 64;               // connections accepted and waiting for a thread
    std::size_t requestBytes = 32 * 1024;  // request line, headers and body together
    std::size_t bodyBytes = 4 * 1024;
    std::chrono::milliseconds readTime{5000};  // to read the whole request
    std::chrono::milliseconds writeTime{5000};
};

class BoundedServer : private httplib::Server {
  public:
    explicit BoundedServer(const ServerLimits& limits);
    ~BoundedServer() override;
    BoundedServer(const BoundedServer&) = delete;
    BoundedServer& operator=(const BoundedServer&) = delete;

    // Where the routes and the error handler are set.
    httplib::Server& routes() { return *this; }

    // Binds `host` (an IPv4 or IPv6 address) and `port` and listens; false
    // when the address is in use or not this machine's.
    bool bindTo(const std::string& host, int port);

    // Accepts and answers connections until shutDown(); returns when every
    // accepted connection has been answered or turned away.
    void serve();

    // Stops accepting; reads in progress end within a tenth of a second. From
    // any thread, also before serve() has begun.
    void shutDown();

  private:
    using Clock = std::chrono::steady_clock;

    void answer(int connection, Clock::time_point acceptedAt);

    ServerLimits m_limits;
    int m_listener = -1;
    std::atomic<bool> m_stopping{false};
};

}  // namespace ostrivane
