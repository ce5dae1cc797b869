#pragma once

// One c-ares channel and the poll loop that drives it: what the list engine
// and the name lookups share. Nothing of c-ares shows in this header.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/dns_reply.h"

namespace ostrivane {

struct ChannelSettings {
    std::chrono::milliseconds tryTimeout{1000};  // c-ares's wait for one try
    int tries = 1;
    std::vector<std::string> servers;  // "ADDRESS:PORT"; empty: /etc/resolv.conf's
};

struct ChannelFailure {
    std::string reason;
};

// Called once per question with its context and token, c-ares's status and
// the whole reply (or null).
using ReplyCallback = void (*)(void* context, std::uint64_t token, int status,
                               const std::uint8_t* reply, std::size_t length);

class AresChannel {
  public:
    static std::variant<std::unique_ptr<AresChannel>, ChannelFailure> open(
        const ChannelSettings& settings);

    AresChannel(const AresChannel&) = delete;
    AresChannel& operator=(const AresChannel&) = delete;
    // Calls back every question still open with a cancelled status.
    ~AresChannel();

    // Sends `name` (class IN); the callback may run at once when c-ares cannot
    // send it at all.
    void ask(const std::string& name, RecordType type, ReplyCallback callback, void* context,
             std::uint64_t token = 0);

    // The host's addresses of `type` (A or AAAA) from the hosts file, as the
    // system resolver reads it first; nothing when the file does not name the
    // host for either family.
    std::optional<DnsRecords> hostsFileRecords(const std::string& name, RecordType type);

    // Waits at most until `until` for a socket to be ready or c-ares's next
    // time-out, and lets c-ares read the replies and retry, calling back.
    void pump(std::chrono::steady_clock::time_point until);

    // True when c-ares reports a cancelled or destroyed channel for `status`.
    static bool isCancelled(int status);
    static bool isNoSuchName(int status);
    static bool isSuccess(int status);

  private:
    AresChannel() = default;
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace ostrivane
