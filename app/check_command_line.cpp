#include "app/check_command_line.h"

#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "app/command_line.h"
#include "app/shared_options.h"
#include "check/target.h"

namespace ostrivane {

namespace {

// The widest SPF blocks an option may ask to check address by address: the
// most addresses one run checks.
constexpr int kWidestSpfIPv4Prefix = 16;
constexpr int kWidestSpfIPv6Prefix = 112;

OptionRow spfWidestRow(OptionRow row, int widest, int longest, int& into) {
    row.read = [name = optionName(row), widest, longest,
                &into](const std::string& value) -> OptionProblem {
        const auto prefix =
            parseWholeNumber(std::string_view(value).substr(value.starts_with('/') ? 1 : 0));
        if (!prefix || *prefix < widest || *prefix > longest) {
            return name + " " + value + ": the prefix must be from " + std::to_string(widest) +
                   " to " + std::to_string(longest);
        }
        into = *prefix;
        return std::nullopt;
    };
    return row;
}

template <typename Into>
OptionRow rangeRow(OptionRow row, Into& into) {
    row.read = [name = optionName(row), &into](const std::string& value) -> OptionProblem {
        auto range = parseThresholdRange(value);
        if (const auto* why = std::get_if<std::string>(&range)) {
            return name + " " + value + ": " + *why;
        }
        into = std::get<ThresholdRange>(std::move(range));
        return std::nullopt;
    };
    return row;
}

OptionRow formatRow(CheckFormat& into) {
    OptionRow row{"--format", "FORMAT",
                  "text (default), json, nagios or openmetrics (the\n"
                  "metrics of ostrivane --serve, once: for node_exporter's\n"
                  "textfile collector)"};
    row.read = [&into](const std::string& value) -> OptionProblem {
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
    };
    return row;
}

// The options of --check, one row each, in the order of its usage; a target
// is read by `target`, given as an argument or with -H.
OptionTable checkTable(CheckOptions& o, const ReadValue& target) {
    std::vector<OptionRow> options{
        zoneRow(o.zones),
        listRow(o.listFile),
        configRow(o.configFile),
        zoneNameRow({"--domain-zone", "ZONE",
                     "a domain list (RHSBL, or a catalog id; repeatable),\n"
                     "asked about the domains and MX host names of mail:\n"
                     "targets, besides the domain lists chosen"},
                    o.domainZones),
        spfWidestRow({"--spf-widest-ipv4", "N",
                      "SPF blocks wider than /N are named, not checked\n"
                      "(default 20: 4,096 addresses; at most 16)"},
                     kWidestSpfIPv4Prefix, 32, o.spfWidestIPv4),
        spfWidestRow({"--spf-widest-ipv6", "N", "likewise for IPv6 (default 116; at most 112)"},
                     kWidestSpfIPv6Prefix, 128, o.spfWidestIPv6),
        timeoutRow(o.timeout),
        serverRow(o.servers),
        formatRow(o.format),
        pathRow({"--output", "FILE",
                 "write the output to FILE, replaced in one step, instead\n"
                 "of standard output"},
                "output file's", o.output),
        flagRow({"--quiet", "", "text: print only listings and problems"}, o.quiet),
        // check_rbl's way of naming the host: moving over is one edit.
        {"-H", "TARGET", "a target, as check_rbl takes it (repeatable)", target},
        rangeRow({"-w, --warning", "RANGE",
                  "nagios: WARNING when the number of listings is outside\n"
                  "RANGE (default: no warning)"},
                 o.warning),
        rangeRow({"-c, --critical", "RANGE",
                  "nagios: CRITICAL when it is outside RANGE (default\n"
                  "\"0\", so any listing). RANGE as the Monitoring Plugins write it:\n"
                  "N (0 to N), N: (N or more), ~:N (at most N), N:M, and\n"
                  "@N:M for inside N to M. A plain N used to mean \"from N\n"
                  "listings\"; now it means \"more than N\": for the old\n"
                  "--critical 3, write --critical 2. The same ranges go\n"
                  "into the perfdata."},
                 o.critical),
        helpRow(o.help),
        {"TARGET", "", "", target}};
    std::vector<OptionRow> history{
        historyRow(o.historyFile), noHistoryRow(o.noHistory),
        flagRow({"--changes", "",
                 "text: print only what changed since the previous run,\n"
                 "nothing when nothing changed;\n"
                 "status 1 when a listing is new, else 0 (3 when the\n"
                 "history cannot be read)"},
                o.changes),
        pathRow({"--page", "FILE.html",
                 "write a self-contained status page of the run and the\n"
                 "last 30 days"},
                "page's file", o.page),
        keepDaysRow(o.keepDays)};
    return {{"Options:", std::move(options)},
            {"History (every run is recorded; see ostrivane(1), HISTORY):", std::move(history)}};
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

constexpr const char* kAbout =
    R"(Asks every list about every address at once and prints the verdicts.
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

)";

constexpr const char* kStatuses = R"(
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
    if (auto problem = readOptions(args, checkTable(options, target), sharedOptionWords())) {
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
    CheckOptions defaults;
    return usageLine(CommandKind::Check) + kAbout + optionUsage(checkTable(defaults, {})) +
           kStatuses;
}

}  // namespace ostrivane
