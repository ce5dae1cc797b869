#include "check/check_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "check/target.h"
#include "core/ip_address.h"

namespace ostrivane {

namespace {

// A bound so that a mistyped timeout cannot hold a monitor for hours.
constexpr double kLongestTimeoutSeconds = 3600;

std::optional<int> parseWholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::chrono::milliseconds> parseTimeout(std::string_view text) {
    // Digits and at most one point: no signs, exponents, "inf" or "nan".
    if (text.empty() || text.find_first_not_of("0123456789.") != text.npos ||
        std::count(text.begin(), text.end(), '.') > 1 || text == ".") {
        return std::nullopt;
    }
    const double seconds = std::strtod(std::string(text).c_str(), nullptr);
    if (!(seconds > 0) || seconds > kLongestTimeoutSeconds) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
}

// Letters, digits, hyphens, underscores and dots, no empty label; a trailing
// dot is dropped. Zones are domain names, so no address or block syntax.
std::optional<std::string> normalizeZone(std::string_view zone) {
    if (!zone.empty() && zone.back() == '.') {
        zone.remove_suffix(1);
    }
    if (zone.empty() || zone.size() > 253 || zone.front() == '.' || zone.find("..") != zone.npos ||
        zone.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") != zone.npos) {
        return std::nullopt;
    }
    return std::string(zone);
}

bool takesValue(std::string_view name) {
    static constexpr std::string_view kWithValue[] = {
        "--zone",    "--list",     "--timeout", "--server", "--format",
        "--warning", "--critical", "--history", "--page",   "--keep-days"};
    return std::find(std::begin(kWithValue), std::end(kWithValue), name) != std::end(kWithValue);
}

struct Parser {
    CheckOptions options;
    std::optional<CheckUsageError> error;

    void fail(std::string message) {
        if (!error) {
            error = CheckUsageError{std::move(message)};
        }
    }

    void threshold(std::string_view name, std::string_view value, int& into) {
        const auto number = parseWholeNumber(value);
        if (!number || *number < 1) {
            fail(std::string(name) + " " + std::string(value) +
                 ": the number of listings must be a whole number of at least 1");
            return;
        }
        into = *number;
    }

    void option(std::string_view name, std::string_view value) {
        if (name == "--zone") {
            const auto zone = normalizeZone(value);
            if (!zone) {
                fail("--zone " + std::string(value) + ": not a DNS zone name");
            } else if (std::find(options.zones.begin(), options.zones.end(), *zone) ==
                       options.zones.end()) {
                options.zones.push_back(*zone);
            }
        } else if (name == "--list") {
            if (value.empty()) {
                fail("--list: the list file's name is empty");
            }
            options.listFile = std::filesystem::path(std::string(value));
        } else if (name == "--timeout") {
            const auto timeout = parseTimeout(value);
            if (!timeout) {
                fail("--timeout " + std::string(value) +
                     ": the timeout must be a number of seconds above 0 and at most 3600");
            } else {
                options.timeout = *timeout;
            }
        } else if (name == "--server") {
            const auto server = normalizeServer(value);
            if (!server) {
                fail("--server " + std::string(value) +
                     ": not ADDRESS[:PORT] (an IPv6 address with a port goes in brackets)");
            } else {
                options.servers.push_back(*server);
            }
        } else if (name == "--format") {
            if (value == "text") {
                options.format = CheckFormat::Text;
            } else if (value == "json") {
                options.format = CheckFormat::Json;
            } else if (value == "nagios") {
                options.format = CheckFormat::Nagios;
            } else {
                fail("--format " + std::string(value) + ": the format is text, json or nagios");
            }
        } else if (name == "--warning") {
            threshold(name, value, options.warning);
        } else if (name == "--critical") {
            threshold(name, value, options.critical);
        } else if (name == "--history") {
            if (value.empty()) {
                fail("--history: the history file's name is empty");
            }
            options.historyFile = std::filesystem::path(std::string(value));
        } else if (name == "--page") {
            if (value.empty()) {
                fail("--page: the page's file name is empty");
            }
            options.page = std::filesystem::path(std::string(value));
        } else if (name == "--keep-days") {
            const auto days = parseWholeNumber(value);
            if (!days || *days < 1) {
                fail("--keep-days " + std::string(value) +
                     ": the number of days must be a whole number of at least 1");
            } else {
                options.keepDays = *days;
            }
        }
    }

    void flag(std::string_view name) {
        if (name == "--quiet") {
            options.quiet = true;
        } else if (name == "--no-history") {
            options.noHistory = true;
        } else if (name == "--changes") {
            options.changes = true;
        } else if (name == "--help") {
            options.help = true;
        } else {
            fail(std::string(name) + ": unknown option");
        }
    }

    void target(const std::string& text) {
        if (text != "-") {
            const auto parsed = parseTarget(text);
            if (const auto* bad = std::get_if<TargetError>(&parsed)) {
                fail("target '" + bad->text + "': " + bad->reason);
                return;
            }
        }
        options.targets.push_back(text);
    }
};

}  // namespace

std::optional<std::string> normalizeServer(std::string_view text) {
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == text.npos) {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        const auto rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return std::nullopt;
            }
            port = rest.substr(1);
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const auto colon = text.find(':');
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    const auto address = parseIpAddress(host);
    if (!address || (text.front() == '[' && address->family != IpAddress::Family::V6)) {
        return std::nullopt;
    }
    int portNumber = 53;
    if (!port.empty() || text.back() == ':') {
        const auto number = parseWholeNumber(port);
        if (!number || *number < 1 || *number > 65535) {
            return std::nullopt;
        }
        portNumber = *number;
    }
    const auto canonical = formatIpAddress(*address);
    return (address->family == IpAddress::Family::V6 ? "[" + canonical + "]" : canonical) + ":" +
           std::to_string(portNumber);
}

std::variant<CheckOptions, CheckUsageError> parseCheckOptions(
    const std::vector<std::string>& args) {
    Parser parser;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size() && !parser.error; ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.rfind("-", 0) != 0) {
            parser.target(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (!takesValue(name)) {
            if (equals != arg.npos) {
                parser.fail(name + ": takes no value");
            } else {
                parser.flag(name);
            }
            continue;
        }
        if (equals != arg.npos) {
            parser.option(name, std::string_view(arg).substr(equals + 1));
        } else if (i + 1 < args.size()) {
            parser.option(name, args[++i]);
        } else {
            parser.fail(name + ": needs a value");
        }
    }
    if (parser.error) {
        return *parser.error;
    }
    auto& options = parser.options;
    if (options.help) {
        return options;
    }
    if (options.targets.empty()) {
        return CheckUsageError{"no target given: name an address, an address block or a host"};
    }
    if (options.historyFile && options.noHistory) {
        return CheckUsageError{"--history and --no-history cannot go together"};
    }
    if (options.changes && options.noHistory) {
        return CheckUsageError{"--changes needs the history, so it cannot go with --no-history"};
    }
    if (options.warning > options.critical) {
        return CheckUsageError{"--warning " + std::to_string(options.warning) +
                               " is above --critical " + std::to_string(options.critical)};
    }
    return options;
}

std::string checkUsageText() {
    return R"(Usage: ostrivane --check [OPTIONS] TARGET...
Asks every list about every address at once and prints the verdicts.

TARGET is an IPv4 or IPv6 address, a host name (all of its A and AAAA
addresses), an IPv4 block from /16 to /32, an IPv6 block from /120 to /128,
or "-" to read targets from standard input, one a line (blank lines and
lines beginning with # are skipped). At most 65,536 addresses a run.

Options:
  --zone ZONE          check this zone (repeatable) instead of the list file's
  --list FILE          take the zones of this list file
  --timeout SECONDS    the longest any question waits (default 2)
  --server ADDR[:PORT] ask this DNS server (repeatable) instead of those of
                       /etc/resolv.conf; an IPv6 address with a port: [ADDR]:PORT
  --format FORMAT      text (default), json or nagios
  --quiet              text: print only listings and problems
  --warning N          nagios: WARNING from N listings (default 1)
  --critical N         nagios: CRITICAL from N listings (default 1)
  --help               print this text

History (every run is recorded; see ostrivane(1), HISTORY):
  --history FILE       record in FILE instead of
                       $XDG_STATE_HOME/ostrivane/history.sqlite
                       (by default ~/.local/state/ostrivane/history.sqlite)
  --no-history         neither read nor record a history
  --changes            text: print only what changed since the previous run;
                       status 1 when a listing is new, else 0 (3 when the
                       history cannot be read)
  --page FILE.html     write a self-contained status page of the run and the
                       last 30 days
  --keep-days N        forget runs older than N days (default 400)

Exit status (text, json): 0 clean; 1 listed; 2 a target did not resolve;
3 usage error, or the status page could not be written; 4 incomplete (no
answer, list error or broken zone), none listed.
nagios: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
)";
}

}  // namespace ostrivane
