#include "reports/snds_fetch.h"

// Debian's cpp-httplib is built with OpenSSL; its pkg-config flags define
// CPPHTTPLIB_OPENSSL_SUPPORT, so the client below speaks HTTPS.
#include <httplib.h>
#include <openssl/x509.h>
#include <pthread.h>
#include <signal.h>

#include <cctype>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "reports/size_text.h"

namespace ostrivane {
namespace {

struct BaseUrl {
    std::string host;  // without brackets
    int port = 443;
    std::string path;   // ends with '/'
    std::string shown;  // "https://host[:port]/path/", for messages
};

std::optional<BaseUrl> parseBaseUrl(std::string_view url) {
    constexpr std::string_view kScheme = "https://";
    if (url.substr(0, kScheme.size()) != kScheme) {
        return std::nullopt;
    }
    BaseUrl base;
    std::string_view rest = url.substr(kScheme.size());
    const auto slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    base.path = slash == rest.npos ? "/" : std::string(rest.substr(slash));
    if (base.path.back() != '/') {
        base.path += '/';
    }
    const auto bracket = authority.find(']');
    const auto colon = authority.rfind(':');
    if (colon != authority.npos && (bracket == authority.npos || colon > bracket)) {
        const std::string port(authority.substr(colon + 1));
        base.port =
            port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos
                ? 0
                : std::stoi(port);
        authority = authority.substr(0, colon);
    }
    if (authority.size() > 2 && authority.front() == '[' && authority.back() == ']') {
        authority = authority.substr(1, authority.size() - 2);
    }
    if (authority.empty() || base.port <= 0 || base.port > 65535 ||
        base.path.find_first_of("?#") != base.path.npos) {
        return std::nullopt;
    }
    base.host = std::string(authority);
    base.shown = std::string(kScheme) + std::string(rest.substr(0, slash)) + base.path;
    return base;
}

std::string percentEncoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

std::string failureOf(const httplib::Result& result, const httplib::SSLClient& client,
                      const BaseUrl& base) {
    if (result.error() == httplib::Error::SSLServerVerification) {
        const long verdict = client.get_openssl_verify_result();
        return verdict == X509_V_OK ? "the certificate does not name " + base.host
                                    : std::string("the certificate is not trusted: ") +
                                          X509_verify_cert_error_string(verdict);
    }
    return httplib::to_string(result.error());
}

// cpp-httplib's time-outs bound each wait on the socket, not a whole request:
// a server that trickles its answer would hold the fetch for ever. The
// watchdog shuts the client's socket at the deadline.
class Watchdog {
  public:
    Watchdog(httplib::ClientImpl& client, std::chrono::seconds after)
        : m_thread([this, &client, after] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, after, [this] { return m_finished; })) {
                  m_fired = true;
                  client.stop();
              }
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    bool fired() {
        const std::lock_guard lock(m_mutex);
        return m_fired;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_finished = false;
    bool m_fired = false;
    std::thread m_thread;  // last: it starts with the members above made
};

// OpenSSL writes to the socket with write(): a socket closed under it (by the
// server, or by the watchdog) raises SIGPIPE, which would end the program.
// The signal is held back in this thread while a file is fetched (the
// watchdog's thread inherits that), and one raised meanwhile is taken before
// it is let through again.
class SigpipeHeld {
  public:
    SigpipeHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_before);
    }
    ~SigpipeHeld() {
        if (sigismember(&m_before, SIGPIPE)) {
            return;
        }
        const timespec now{};
        while (sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

  private:
    sigset_t m_pipe;
    sigset_t m_before;
};

// Fills `body` with the file; the reason when it cannot.
std::optional<std::string> fetchFile(const SndsFetchSettings& settings, const BaseUrl& base,
                                     const std::string& file, std::string& body) {
    const std::string shown = "SNDS at " + base.shown + file + " (key hidden): ";
    const SigpipeHeld sigpipeHeld;
    httplib::SSLClient client(base.host, base.port);
    client.enable_server_certificate_verification(true);
    if (!settings.caFile.empty()) {
        client.set_ca_cert_path(settings.caFile.string());
    }
    client.set_follow_location(false);
    client.set_connection_timeout(settings.timeout);
    client.set_read_timeout(settings.timeout);
    client.set_write_timeout(settings.timeout);
    Watchdog watchdog(client, settings.timeout);
    std::optional<std::string> stopped;
    const auto result =
        client.Get(base.path + file + "?key=" + percentEncoded(settings.key),
                   [&](const char* data, std::size_t length) {
                       if (body.size() + length > settings.maxBytes) {
                           stopped = "the answer is larger than " + sizeText(settings.maxBytes);
                           return false;
                       }
                       body.append(data, length);
                       return true;
                   });
    if (watchdog.fired()) {
        return shown + "no whole answer within " + std::to_string(settings.timeout.count()) + " s";
    }
    if (stopped) {
        return shown + *stopped;
    }
    if (!result) {
        return shown + failureOf(result, client, base);
    }
    if (result->status != 200) {
        return shown + "HTTP " + std::to_string(result->status);
    }
    return std::nullopt;
}

}  // namespace

std::variant<SndsFiles, std::string> fetchSnds(const SndsFetchSettings& settings) {
    const auto base = parseBaseUrl(settings.baseUrl);
    if (!base) {
        return "the SNDS address '" + settings.baseUrl + "' is not an https:// address of a folder";
    }
    SndsFiles files;
    for (auto [file, into] :
         {std::pair{"ipStatus.aspx", &files.ipStatusCsv}, std::pair{"data.aspx", &files.dataCsv}}) {
        if (auto failure = fetchFile(settings, *base, file, *into)) {
            return std::move(*failure);
        }
    }
    return files;
}

}  // namespace ostrivane
