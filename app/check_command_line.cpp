#include "app/check_command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

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

OptionRow listRow(std::optional<std::filesystem::path>& into) {
    return {"--list", true, [&into](const std::string& value) -> OptionProblem {
                into = std::filesystem::path(value);
                if (value.empty()) {
                    return "--list: the list file's name is empty";
                }
                return std::nullopt;
            }};
}

OptionRow timeoutRow(std::chrono::milliseconds& into) {
    return {"-t,--timeout", true, [&into](const std::string& value) -> OptionProblem {
                const auto timeout = parseTimeout(value);
                if (!timeout) {
                    return "--timeout " + value +
                           ": the timeout must be a number of seconds above 0 and at most 3600";
                }
                into = *timeout;
                return std::nullopt;
            }};
}

OptionRow serverRow(std::vector<std::string>& into) {
    return {"--server", true, [&into](const std::string& value) -> OptionProblem {
                const auto server = normalizeServer(value);
                if (!server) {
                    return "--server " + value +
                           ": not ADDRESS[:PORT] (an IPv6 address with a port goes in brackets)";
                }
                into.push_back(*server);
                return std::nullopt;
            }};
}

OptionWords checkOptionWords() {
    OptionWords words;
    words.unknown = [](const std::string& option) { return option + ": unknown option"; };
    words.needsValue = [](const std::string& option) { return option + ": needs a value"; };
    words.takesNoValue = [](const std::string& argument) {
        return argument.substr(0, argument.find('=')) + ": takes no value";
    };
    return words;
}

OptionRow flagRow(std::string names, bool& into) {
    return {std::move(names), false, [&into](const std::string&) -> OptionProblem {
                into = true;
                return std::nullopt;
            }};
}

OptionRow pathRow(std::string name, std::string what, std::optional<std::filesystem::path>& into) {
    return {name, true, [name, what, &into](const std::string& value) -> OptionProblem {
                if (value.empty()) {
                    return name + ": the " + what + " name is empty";
                }
                into = std::filesystem::path(value);
                return std::nullopt;
            }};
}

OptionRow wholeNumberRow(std::string name, std::string what, int& into) {
    return {name, true, [name, what, &into](const std::string& value) -> OptionProblem {
                const auto number = parseWholeNumber(value);
                if (!number || *number < 1) {
                    return name + " " + value + ": the number of " + what +
                           " must be a whole number of at least 1";
                }
                into = *number;
                return std::nullopt;
            }};
}

template <typename Into>
OptionRow rangeRow(std::string names, Into& into) {
    const std::string name = names.substr(names.find("--"));
    return {std::move(names), true, [name, &into](const std::string& value) -> OptionProblem {
                auto range = parseThresholdRange(value);
                if (const auto* why = std::get_if<std::string>(&range)) {
                    return name + " " + value + ": " + *why;
                }
                into = std::get<ThresholdRange>(std::move(range));
                return std::nullopt;
            }};
}

OptionRow zoneRow(std::vector<std::string>& into) {
    return {"--zone", true, [&into](const std::string& value) -> OptionProblem {
                const auto zone = normalizeZone(value);
                if (!zone) {
                    return "--zone " + value + ": not a DNS zone name";
                }
                if (std::find(into.begin(), into.end(), *zone) == into.end()) {
                    into.push_back(*zone);
                }
                return std::nullopt;
            }};
}

namespace {

OptionRow domainZoneRow(std::vector<std::string>& into) {
    return {"--domain-zone", true, [&into](const std::string& value) -> OptionProblem {
                const auto zone = normalizeZone(value);
                if (!zone) {
                    return "--domain-zone " + value + ": not a DNS zone name";
                }
                if (std::find(into.begin(), into.end(), *zone) == into.end()) {
                    into.push_back(*zone);
                }
                return std::nullopt;
            }};
}

// The widest SPF blocks an option may ask to check address by address: the
// most addresses one run checks.
constexpr int kWidestSpfIPv4Prefix = 16;
constexpr int kWidestSpfIPv6Prefix = 112;

OptionRow spfWidestRow(std::string name, int widest, int longest, int& into) {
    return {name, true, [name, widest, longest, &into](const std::string& value) -> OptionProblem {
                const auto prefix = parseWholeNumber(
                    std::string_view(value).substr(value.starts_with('/') ? 1 : 0));
                if (!prefix || *prefix < widest || *prefix > longest) {
                    return name + " " + value + ": the prefix must be from " +
                           std::to_string(widest) + " to " + std::to_string(longest);
                }
                into = *prefix;
                return std::nullopt;
            }};
}

OptionRow formatRow(CheckFormat& into) {
    return {"--format", true, [&into](const std::string& value) -> OptionProblem {
                static constexpr std::array<std::pair<std::string_view, CheckFormat>, 4> kFormats{
                    {{"text", CheckFormat::Text},
                     {"json", CheckFormat::Json},
                     {"nagios", CheckFormat::Nagios},
                     {"openmetrics", CheckFormat::OpenMetrics}}};
                for (const auto& [name, format] : kFormats) {
                    if (value == name) {
                        into = format;
                        return std::nullopt;
                    }
                }
                return "--format " + value + ": the format is text, json, nagios or openmetrics";
            }};
}

// The options of --check, one row each.
std::vector<OptionRow> checkRows(CheckOptions& o) {
    return {zoneRow(o.zones),
            listRow(o.listFile),
            pathRow("--config", "config file's", o.configFile),
            timeoutRow(o.timeout),
            serverRow(o.servers),
            formatRow(o.format),
            flagRow("--quiet", o.quiet),
            rangeRow("-w,--warning", o.warning),
            rangeRow("-c,--critical", o.critical),
            flagRow("--help", o.help),
            pathRow("--history", "history file's", o.historyFile),
            flagRow("--no-history", o.noHistory),
            flagRow("--changes", o.changes),
            pathRow("--page", "page's file", o.page),
            pathRow("--output", "output file's", o.output),
            wholeNumberRow("--keep-days", "days", o.keepDays),
            domainZoneRow(o.domainZones),
            spfWidestRow("--spf-widest-ipv4", kWidestSpfIPv4Prefix, 32, o.spfWidestIPv4),
            spfWidestRow("--spf-widest-ipv6", kWidestSpfIPv6Prefix, 128, o.spfWidestIPv6)};
}

std::optional<CheckUsageError> checkCombination(const CheckOptions& options) {
    if (options.targets.empty()) {
        return CheckUsageError{"no target given: name an address, an address block or a host"};
    }
    if (options.historyFile && options.noHistory) {
        return CheckUsageError{"--history and --no-history cannot go together"};
    }
    if (options.changes && options.noHistory) {
        return CheckUsageError{"--changes needs the history, so it cannot go with --no-history"};
    }
    return std::nullopt;
}

}  // namespace

std::variant<CheckOptions, CheckUsageError> parseCheckOptions(
    const std::vector<std::string>& args) {
    CheckOptions options;
    const auto target = [&options](const std::string& text) -> OptionProblem {
        if (text != "-") {
            const auto parsed = parseTarget(text);
            if (const auto* bad = std::get_if<TargetError>(&parsed)) {
                return "target '" + bad->text + "': " + bad->reason;
            }
        }
        options.targets.push_back(text);
        return std::nullopt;
    };
    auto rows = checkRows(options);
    // check_rbl's way of naming the host: moving over is one edit.
    rows.push_back({"-H", true, target});
    if (auto problem = readOptions(args, rows, target, checkOptionWords())) {
        return CheckUsageError{std::move(*problem), options.format == CheckFormat::Nagios};
    }
    if (options.help) {
        return options;
    }
    if (auto problem = checkCombination(options)) {
        problem->nagios = options.format == CheckFormat::Nagios;
        return *problem;
    }
    return options;
}
std::string checkUsageText() {
    return R"(Usage: ostrivane --check [OPTIONS] TARGET...
Asks every list about every address at once and prints the verdicts.
Without --zone, --list or the config file's lists, it asks the catalog's
default set: lists that are alive, free for small use and need no key.
Keys for lists that take one come from the config file or from
OSTRIVANE_KEY_<PROVIDER> (OSTRIVANE_KEY_SPAMHAUS), never from the
command line.

TARGET is an IPv4 or IPv6 address, a host name (all of its A and AAAA
addresses), an IPv4 block from /12 to /32, an IPv6 block from /108 to /128,
a mail domain (below), or "-" to read targets from standard input, one a
line (blank lines and lines beginning with # are skipped). At most 1,048,576
addresses a run. Text and json print each address's results as soon as
every list has answered for it. Host names are looked up all at once through the servers
the lists are asked through, within --timeout.

Mail domains: mx:DOMAIN checks every address of the domain's MX hosts;
spf:DOMAIN every address its SPF record authorises (include: and redirect=
followed, as receivers evaluate it); mail:DOMAIN both, and the domain and
its MX host names on the domain lists: the catalog's lists of kind domains
among the lists chosen (by default Spamhaus DBL) and --domain-zone's. Each
result says how it was reached (via). For example:
  ostrivane --check mail:example.org
  ostrivane --check --zone bl.example --domain-zone dbl.example mail:example.org

Options:
  --zone ZONE          check this zone or catalog list (its id, see
                       ostrivane --lists; repeatable) instead of the default set;
                       a catalog list of kind domains is asked about mail:
                       targets' names only
  --list FILE          take the zones of a list file (the window's: its
                       sbllist.txt) instead of the default set
  --config FILE        read settings from FILE instead of
                       /etc/ostrivane/ostrivane.toml and
                       $XDG_CONFIG_HOME/ostrivane/ostrivane.toml
  --domain-zone ZONE   a domain list (RHSBL, or a catalog id; repeatable),
                       asked about the domains and MX host names of mail:
                       targets, besides the domain lists chosen
  --spf-widest-ipv4 N  SPF blocks wider than /N are named, not checked
                       (default 20: 4,096 addresses; at most 16)
  --spf-widest-ipv6 N  likewise for IPv6 (default 116; at most 112)
  -t, --timeout SECS   the longest any question waits, in seconds (default 2)
  --server ADDR[:PORT] ask this DNS server (repeatable) instead of those of
                       /etc/resolv.conf; an IPv6 address with a port: [ADDR]:PORT
  --format FORMAT      text (default), json, nagios or openmetrics (the
                       metrics of ostrivane --serve, once: for node_exporter's
                       textfile collector)
  --output FILE        write the output to FILE, replaced in one step, instead
                       of standard output
  --quiet              text: print only listings and problems
  -H TARGET            a target, as check_rbl takes it (repeatable)
  -w, --warning RANGE  nagios: WARNING when the number of listings is outside
                       RANGE (default: no warning)
  -c, --critical RANGE nagios: CRITICAL when it is outside RANGE (default
                       "0", so any listing). RANGE as the Monitoring Plugins write it:
                       N (0 to N), N: (N or more), ~:N (at most N), N:M, and
                       @N:M for inside N to M. A plain N used to mean "from N
                       listings"; now it means "more than N": for the old
                       --critical 3, write --critical 2. The same ranges go
                       into the perfdata.
  --help               print this text

History (every run is recorded; see ostrivane(1), HISTORY):
  --history FILE       record in FILE instead of
                       $XDG_STATE_HOME/ostrivane/history.sqlite
                       (by default ~/.local/state/ostrivane/history.sqlite)
  --no-history         neither read nor record a history
  --changes            text: print only what changed since the previous run,
                       nothing when nothing changed;
                       status 1 when a listing is new, else 0 (3 when the
                       history cannot be read)
  --page FILE.html     write a self-contained status page of the run and the
                       last 30 days
  --keep-days N        forget runs older than N days (default 400)

Each list is asked about the test points of both address families (RFC 5782);
a list that works for one family only is "not-covered" for the other. The
questions are paced per server and a missing answer is asked again within
--timeout.

Exit status (text, json): 0 clean; 1 listed; 2 a target did not resolve;
3 usage error, or the status page or standard output could not be written;
4 incomplete (no answer, list error or broken zone, no answer to a host
name's lookup, an address no working list covers, a mail domain's lookup
without an answer or its SPF permerror), none listed.
nagios: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
)";
}

}  // namespace ostrivane
