#include "app/shared_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/ip_address.h"

namespace ostrivane {

namespace {

// A bound so that a mistyped timeout cannot hold a monitor for hours.
constexpr double kLongestTimeoutSeconds = 3600;

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

std::string secondsText(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(duration.count()) / 1000);
    return text;
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

std::optional<int> parseWholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

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

OptionWords sharedOptionWords() {
    OptionWords words;
    words.unknown = [](const std::string& option) { return option + ": unknown option"; };
    words.needsValue = [](const std::string& option) { return option + ": needs a value"; };
    words.takesNoValue = [](const std::string& argument) {
        return argument.substr(0, argument.find('=')) + ": takes no value";
    };
    return words;
}

OptionRow flagRow(OptionRow row, bool& into) {
    row.read = [&into](const std::string&) -> OptionProblem {
        into = true;
        return std::nullopt;
    };
    return row;
}

OptionRow pathRow(OptionRow row, std::string what, std::optional<std::filesystem::path>& into) {
    row.read = [name = optionName(row), what, &into](const std::string& value) -> OptionProblem {
        if (value.empty()) {
            return name + ": the " + what + " name is empty";
        }
        into = std::filesystem::path(value);
        return std::nullopt;
    };
    return row;
}

OptionRow wholeNumberRow(OptionRow row, std::string what, int& into) {
    row.read = [name = optionName(row), what, &into](const std::string& value) -> OptionProblem {
        const auto number = parseWholeNumber(value);
        if (!number || *number < 1) {
            return name + " " + value + ": the number of " + what +
                   " must be a whole number of at least 1";
        }
        into = *number;
        return std::nullopt;
    };
    return row;
}

OptionRow zoneNameRow(OptionRow row, std::vector<std::string>& into) {
    row.read = [name = optionName(row), &into](const std::string& value) -> OptionProblem {
        const auto zone = normalizeZone(value);
        if (!zone) {
            return name + " " + value + ": not a DNS zone name";
        }
        if (std::find(into.begin(), into.end(), *zone) == into.end()) {
            into.push_back(*zone);
        }
        return std::nullopt;
    };
    return row;
}

OptionRow zoneRow(std::vector<std::string>& into) {
    return zoneNameRow({"--zone", "ZONE",
                        "check this zone or catalog list (its id, see\n"
                        "ostrivane --lists; repeatable) instead of the default set;\n"
                        "a catalog list of kind domains is asked about mail:\n"
                        "targets' names only"},
                       into);
}

OptionRow listRow(std::optional<std::filesystem::path>& into) {
    return pathRow({"--list", "FILE",
                    "take the zones of a list file (the window's: its\n"
                    "sbllist.txt) instead of the default set"},
                   "list file's", into);
}

OptionRow configRow(std::optional<std::filesystem::path>& into) {
    return pathRow({"--config", "FILE",
                    "read settings from FILE instead of\n"
                    "/etc/ostrivane/ostrivane.toml and\n"
                    "$XDG_CONFIG_HOME/ostrivane/ostrivane.toml"},
                   "config file's", into);
}

OptionRow serverRow(std::vector<std::string>& into) {
    OptionRow row{"--server", "ADDR[:PORT]",
                  "ask this DNS server (repeatable) instead of those of\n"
                  "/etc/resolv.conf; an IPv6 address with a port: [ADDR]:PORT"};
    row.read = [&into](const std::string& value) -> OptionProblem {
        const auto server = normalizeServer(value);
        if (!server) {
            return "--server " + value +
                   ": not ADDRESS[:PORT] (an IPv6 address with a port goes in brackets)";
        }
        into.push_back(*server);
        return std::nullopt;
    };
    return row;
}

OptionRow timeoutRow(std::chrono::milliseconds& into) {
    OptionRow row{"-t, --timeout", "SECS",
                  "the longest any question waits, in seconds (default " + secondsText(into) + ")"};
    row.read = [&into](const std::string& value) -> OptionProblem {
        const auto timeout = parseTimeout(value);
        if (!timeout) {
            return "--timeout " + value +
                   ": the timeout must be a number of seconds above 0 and at most 3600";
        }
        into = *timeout;
        return std::nullopt;
    };
    return row;
}

OptionRow historyRow(std::optional<std::filesystem::path>& into) {
    return pathRow({"--history", "FILE",
                    "record in FILE instead of\n"
                    "$XDG_STATE_HOME/ostrivane/history.sqlite\n"
                    "(by default ~/.local/state/ostrivane/history.sqlite)"},
                   "history file's", into);
}

OptionRow noHistoryRow(bool& into) {
    return flagRow({"--no-history", "", "neither read nor record a history"}, into);
}

OptionRow keepDaysRow(int& into) {
    return wholeNumberRow({"--keep-days", "N",
                           "forget runs older than N days (default " + std::to_string(into) + ")"},
                          "days", into);
}

OptionRow textOrJsonRow(bool& json) {
    OptionRow row{"--format", "FORMAT", "text (default) or json"};
    row.read = [&json](const std::string& value) -> OptionProblem {
        if (value != "text" && value != "json") {
            return "--format " + value + ": the format is text or json";
        }
        json = value == "json";
        return std::nullopt;
    };
    return row;
}

OptionRow helpRow(bool& into) {
    return flagRow({"--help", "", "print this text"}, into);
}

}  // namespace ostrivane
