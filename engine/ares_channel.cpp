#include "engine/ares_channel.h"

#include <ares.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace ostrivane {

struct AresChannel::State {
    ares_channel channel = nullptr;
    std::chrono::steady_clock::time_point timeoutCheckedAt{};
};

namespace {

std::once_flag aresInitialised;

constexpr int kReceiveBuffer = 4 << 20;
constexpr std::chrono::milliseconds kTimeoutCheckEvery{5};

struct Pending {
    ReplyCallback callback;
    void* context;
    std::uint64_t token;
};

void replied(void* arg, int status, int /*timeouts*/, unsigned char* reply, int length) {
    const auto* pending = static_cast<Pending*>(arg);
    const Pending copy = *pending;
    delete pending;
    copy.callback(copy.context, copy.token, status, reply,
                  reply != nullptr ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

std::variant<std::unique_ptr<AresChannel>, ChannelFailure> AresChannel::open(
    const ChannelSettings& settings) {
    int status = ARES_SUCCESS;
    std::call_once(aresInitialised, [&status] { status = ares_library_init(ARES_LIB_INIT_ALL); });
    if (status != ARES_SUCCESS) {
        return ChannelFailure{std::string("cannot start the DNS library: ") +
                              ares_strerror(status)};
    }
    std::unique_ptr<AresChannel> channel(new AresChannel());
    channel->m_state = std::make_unique<State>();
    ares_options options{};
    options.timeout = std::max(1, static_cast<int>(settings.tryTimeout.count()));
    options.tries = std::max(1, settings.tries);
    options.flags = ARES_FLAG_NOSEARCH;
    // Answers to a burst of questions arrive faster than one poll round
    // reads them: the kernel's default buffer (about 200 KB, some 300 small
    // datagrams) drops the rest. The kernel caps this at net.core.rmem_max.
    options.socket_receive_buffer_size = kReceiveBuffer;
    const int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_FLAGS | ARES_OPT_SOCK_RCVBUF;
    status = ares_init_options(&channel->m_state->channel, &options, mask);
    if (status != ARES_SUCCESS) {
        channel->m_state->channel = nullptr;
        return ChannelFailure{std::string("cannot set up the DNS resolver: ") +
                              ares_strerror(status)};
    }
    if (!settings.servers.empty()) {
        std::string csv;
        for (const auto& server : settings.servers) {
            csv += (csv.empty() ? "" : ",") + server;
        }
        status = ares_set_servers_ports_csv(channel->m_state->channel, csv.c_str());
        if (status != ARES_SUCCESS) {
            return ChannelFailure{"cannot use the DNS servers " + csv + ": " +
                                  ares_strerror(status)};
        }
    }
    return channel;
}

AresChannel::~AresChannel() {
    if (m_state && m_state->channel != nullptr) {
        ares_destroy(m_state->channel);
    }
}

void AresChannel::ask(const std::string& name, RecordType type, ReplyCallback callback,
                      void* context, std::uint64_t token) {
    ares_query(m_state->channel, name.c_str(), ns_c_in, static_cast<int>(type), &replied,
               new Pending{callback, context, token});
}

namespace {

template <std::size_t N>
void addressesOf(const hostent* host, std::vector<std::array<std::uint8_t, N>>& into) {
    for (char** entry = host->h_addr_list; entry != nullptr && *entry != nullptr; ++entry) {
        std::array<std::uint8_t, N> bytes{};
        std::memcpy(bytes.data(), *entry, N);
        into.push_back(bytes);
    }
}

}  // namespace

std::optional<DnsRecords> AresChannel::hostsFileRecords(const std::string& name, RecordType type) {
    DnsRecords records;
    bool named = false;
    for (const int family : {AF_INET, AF_INET6}) {
        hostent* host = nullptr;
        if (ares_gethostbyname_file(m_state->channel, name.c_str(), family, &host) !=
                ARES_SUCCESS ||
            host == nullptr) {
            continue;
        }
        named = true;
        if (family == AF_INET && type == RecordType::A && host->h_length == 4) {
            addressesOf(host, records.v4);
        } else if (family == AF_INET6 && type == RecordType::Aaaa && host->h_length == 16) {
            addressesOf(host, records.v6);
        }
        ares_free_hostent(host);
    }
    if (!named) {
        return std::nullopt;
    }
    const bool any = !records.v4.empty() || !records.v6.empty();
    records.outcome = any ? DnsRecords::Outcome::Records : DnsRecords::Outcome::NoRecord;
    return records;
}

void AresChannel::pump(std::chrono::steady_clock::time_point until) {
    const auto now = std::chrono::steady_clock::now();
    long long waitMs =
        until <= now ? 0 : std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    timeval most{static_cast<time_t>(waitMs / 1000),
                 static_cast<suseconds_t>((waitMs % 1000) * 1000)};
    // c-ares's own next time-out, looked up at most every few milliseconds:
    // ares_timeout walks every question c-ares holds (tens of thousands in a
    // large run), and c-ares handles its time-outs whenever it is called.
    if (now - m_state->timeoutCheckedAt >= kTimeoutCheckEvery) {
        m_state->timeoutCheckedAt = now;
        timeval buffer{};
        if (const timeval* aresWait = ares_timeout(m_state->channel, &most, &buffer)) {
            waitMs = std::min<long long>(
                waitMs, aresWait->tv_sec * 1000LL + (aresWait->tv_usec + 999) / 1000);
        }
    } else {
        waitMs = std::min<long long>(waitMs, kTimeoutCheckEvery.count());
    }
    std::array<ares_socket_t, ARES_GETSOCK_MAXNUM> sockets{};
    const int bits = ares_getsock(m_state->channel, sockets.data(), ARES_GETSOCK_MAXNUM);
    std::vector<pollfd> fds;
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        events |= ARES_GETSOCK_READABLE(bits, i) ? POLLIN : 0;
        events |= ARES_GETSOCK_WRITABLE(bits, i) ? POLLOUT : 0;
        if (events != 0) {
            fds.push_back({sockets[static_cast<std::size_t>(i)], events, 0});
        }
    }
    const int ready = poll(fds.data(), fds.size(), static_cast<int>(waitMs));
    bool processed = false;
    for (const auto& fd : fds) {
        if (ready <= 0 || fd.revents == 0) {
            continue;
        }
        const bool readable = (fd.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        const bool writable = (fd.revents & POLLOUT) != 0;
        ares_process_fd(m_state->channel, readable ? fd.fd : ARES_SOCKET_BAD,
                        writable ? fd.fd : ARES_SOCKET_BAD);
        processed = true;
    }
    if (!processed) {
        // Lets c-ares retry or give up on the questions whose wait ended.
        ares_process_fd(m_state->channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    }
}

bool AresChannel::isCancelled(int status) {
    return status == ARES_ECANCELLED || status == ARES_EDESTRUCTION;
}

bool AresChannel::isNoSuchName(int status) {
    return status == ARES_ENOTFOUND;
}

bool AresChannel::isSuccess(int status) {
    return status == ARES_SUCCESS;
}

}  // namespace ostrivane
