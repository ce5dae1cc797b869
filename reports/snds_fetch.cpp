#include "reports/snds_fetch.h"

// Debian's cpp-httplib is built with OpenSSL; its pkg-config flags define
// CPPHTTPLIB_OPENSSL_SUPPORT, so the client below speaks HTTPS.
#include <httplib.h>
#include <openssl/x509.h>

#include <cctype>
#include <optional>

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

// Fills `body` with the file; the reason when it cannot.
std::optional<std::string> fetchFile(const SndsFetchSettings& settings, const BaseUrl& base,
                                     const std::string& file, std::string& body) {
    const std::string shown = "SNDS at " + base.shown + file + " (key hidden): ";
    httplib::SSLClient client(base.host, base.port);
    client.enable_server_certificate_verification(true);
    if (!settings.caFile.empty()) {
        client.set_ca_cert_path(settings.caFile.string());
    }
    client.set_follow_location(false);
    client.set_connection_timeout(settings.timeout);
    client.set_read_timeout(settings.timeout);
    client.set_write_timeout(settings.timeout);
    // The time-outs above bound each wait; the deadline bounds a server that
    // sends a trickle forever.
    const auto deadline = std::chrono::steady_clock::now() + settings.timeout;
    std::optional<std::string> stopped;
    const auto result =
        client.Get(base.path + file + "?key=" + percentEncoded(settings.key),
                   [&](const char* data, std::size_t length) {
                       if (body.size() + length > settings.maxBytes) {
                           stopped = "the answer is larger than " + sizeText(settings.maxBytes);
                       } else if (std::chrono::steady_clock::now() > deadline) {
                           stopped = "no whole answer within " +
                                     std::to_string(settings.timeout.count()) + " s";
                       } else {
                           body.append(data, length);
                       }
                       return !stopped;
                   });
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
