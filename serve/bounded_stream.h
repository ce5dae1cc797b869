#pragma once

// An accepted connection as cpp-httplib reads one request from it and writes
// the reply. The request ends where its byte budget does: the library then
// sees the input end and answers 400 or 414 for a request line or header
// block that went on too long, instead of reading it into memory to its end.
// Reading ends at a deadline counted from the connection's acceptance, each
// write waits at most the write time, and a stop cuts either short within a
// tenth of a second.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace ostrivane {

class BoundedStream : public httplib::Stream {
  public:
    using Clock = std::chrono::steady_clock;

    BoundedStream(int connection, std::size_t budget, Clock::time_point readDeadline,
                  std::chrono::milliseconds writeTime, const std::atomic<bool>& stopping);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return m_connection; }

  private:
    int m_connection;
    std::size_t m_budget;
    Clock::time_point m_readDeadline;
    std::chrono::milliseconds m_writeTime;
    const std::atomic<bool>& m_stopping;
    std::vector<char> m_buffer;
    std::size_t m_next = 0;
};

}  // namespace ostrivane
