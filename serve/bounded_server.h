#pragma once

// cpp-httplib's server with bounds on everything a client controls: one
// request per connection, a byte budget and a deadline for reading it, a
// fixed number of worker threads and a bounded queue of waiting connections;
// a connection beyond the queue gets 503 at once.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>

namespace ostrivane {

struct ServerLimits {
    std::size_t threads = 8;
    std::size_t queued = 64;               // connections accepted and waiting for a thread
    std::size_t requestBytes = 32 * 1024;  // request line, headers and body together
    std::size_t bodyBytes = 4 * 1024;
    std::chrono::milliseconds readTime{5000};  // to read the whole request
    std::chrono::milliseconds writeTime{5000};
};

class BoundedServer : public httplib::Server {
  public:
    explicit BoundedServer(const ServerLimits& limits);

    // Stops accepting; reads in progress end within a tenth of a second.
    void shutDown();

  private:
    bool process_and_close_socket(socket_t sock) override;

    ServerLimits m_limits;
    std::atomic<bool> m_stopping{false};
};

}  // namespace ostrivane
