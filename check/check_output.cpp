#include "check/check_output.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <ostream>
#include <vector>

#include "core/terminal_text.h"

namespace ostrivane {

namespace {

struct Counts {
    std::size_t listed = 0;
    std::size_t notListed = 0;
    std::size_t noAnswer = 0;
    std::size_t listError = 0;
    std::size_t brokenZone = 0;
    std::size_t addresses = 0;
    std::size_t newListings = 0;

    std::size_t incomplete() const { return noAnswer + listError + brokenZone; }
};

Counts countsOf(const CheckRun& run) {
    Counts counts;
    std::vector<std::string_view> addresses;
    for (const auto& result : run.results) {
        switch (result.verdict) {
            case CheckVerdict::Listed:
                ++counts.listed;
                if (result.change == ListingChange::New) {
                    ++counts.newListings;
                }
                break;
            case CheckVerdict::NotListed:
                ++counts.notListed;
                break;
            case CheckVerdict::NoAnswer:
                ++counts.noAnswer;
                break;
            case CheckVerdict::ListError:
                ++counts.listError;
                break;
            case CheckVerdict::BrokenZone:
                ++counts.brokenZone;
                break;
        }
        if (addresses.empty() || addresses.back() != result.address) {
            addresses.push_back(result.address);
        }
    }
    counts.addresses = addresses.size();
    return counts;
}

std::string plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : std::string(separator)) + part;
    }
    return text;
}

std::string changeText(const CheckResult& result) {
    if (result.change == ListingChange::New || result.change == ListingChange::Cleared) {
        return std::string(listingChangeText(*result.change));
    }
    if (result.change == ListingChange::Ongoing && result.since) {
        return "since " + formatRfc3339(*result.since);
    }
    return {};
}

bool changed(const CheckResult& result) {
    return result.change == ListingChange::New || result.change == ListingChange::Cleared;
}

// ---- text ----------------------------------------------------------------

void printText(const CheckRun& run, const CheckOptions& options, std::ostream& out) {
    const bool withChange = std::any_of(run.results.begin(), run.results.end(),
                                        [](const CheckResult& r) { return r.change.has_value(); });
    const auto shown = [&](const CheckResult& result) {
        if (options.changes) {
            return changed(result);
        }
        return !options.quiet || result.verdict != CheckVerdict::NotListed || changed(result);
    };

    // Every line first, so that the columns line up over the whole output.
    struct Line {
        std::string header;  // set for a block's first line
        std::vector<std::string> cells;
    };
    std::vector<Line> lines;
    std::string_view block;
    for (const auto& result : run.results) {
        if (!shown(result)) {
            continue;
        }
        Line line;
        if (lines.empty() || block != result.address) {
            block = result.address;
            line.header = escapeForTerminal(result.address);
            if (result.target != result.address) {
                line.header += " (" + escapeForTerminal(result.target) + ")";
            }
        }
        std::string answers = escapeForTerminal(joined(result.answers, ","));
        line.cells = {escapeForTerminal(result.zone), std::string(checkVerdictText(result.verdict)),
                      answers};
        if (withChange) {
            line.cells.push_back(changeText(result));
        }
        line.cells.push_back(escapeForTerminal(result.reason));
        lines.push_back(std::move(line));
    }
    std::vector<std::size_t> widths;
    for (const auto& line : lines) {
        widths.resize(std::max(widths.size(), line.cells.size()));
        for (std::size_t c = 0; c < line.cells.size(); ++c) {
            widths[c] = std::max(widths[c], displayWidth(line.cells[c]));
        }
    }
    for (const auto& line : lines) {
        if (!line.header.empty()) {
            out << line.header << '\n';
        }
        std::string text = " ";
        for (std::size_t c = 0; c < line.cells.size(); ++c) {
            text += " " + line.cells[c];
            if (c + 1 < line.cells.size()) {
                text += std::string(widths[c] - displayWidth(line.cells[c]) + 1, ' ');
            }
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out << text << '\n';
    }
    if (!options.changes) {
        for (const auto& target : run.unresolvedTargets) {
            out << escapeForTerminal(target) << ": does not resolve to any address\n";
        }
        for (const auto& target : run.unansweredTargets) {
            out << escapeForTerminal(target) << ": no answer to the lookup of its addresses\n";
        }
    }

    const Counts counts = countsOf(run);
    const bool anything =
        !lines.empty() || !run.unresolvedTargets.empty() || !run.unansweredTargets.empty();
    if (options.quiet && !options.changes && !anything) {
        return;
    }
    out << "Summary: " << plural(counts.addresses, "address", "addresses") << ", "
        << plural(run.zones.size(), "zone", "zones") << "; listed " << counts.listed
        << ", not-listed " << counts.notListed << ", no-answer " << counts.noAnswer
        << ", list-error " << counts.listError << ", broken-zone " << counts.brokenZone
        << "; unresolved targets " << run.unresolvedTargets.size();
    if (!run.unansweredTargets.empty()) {
        out << ", unanswered targets " << run.unansweredTargets.size();
    }
    if (withChange) {
        const auto cleared =
            std::count_if(run.results.begin(), run.results.end(),
                          [](const auto& r) { return r.change == ListingChange::Cleared; });
        out << "; new " << counts.newListings << ", cleared " << cleared;
    }
    out << "\n";
}

// ---- json ----------------------------------------------------------------

// The length of the valid UTF-8 sequence at `at`, or 0.
std::size_t utf8Length(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    unsigned min = 0;
    if (byte >= 0xC2 && byte <= 0xDF) {
        length = 2, min = 0x80;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        length = 3, min = 0x800;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        length = 4, min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    unsigned code = byte & (0xFFU >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3FU);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// A JSON string; bytes that are not UTF-8 become U+FFFD, so that the document
// stays valid whatever a list's TXT record holds.
std::string jsonString(std::string_view text) {
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else if (byte >= 0x80) {
            if (const auto length = utf8Length(text, i)) {
                json.append(text.substr(i, length));
                i += length;
                continue;
            }
            json += "\\ufffd";
        } else {
            json += static_cast<char>(byte);
        }
        ++i;
    }
    return json + "\"";
}

std::string jsonOrNull(const std::optional<std::string>& text) {
    return text ? jsonString(*text) : "null";
}

std::string zoneStateText(ZoneHealth health) {
    std::string text(zoneHealthText(health));
    std::replace(text.begin(), text.end(), ' ', '-');
    return text;
}

void printJson(const CheckRun& run, std::ostream& out) {
    out << "{\n  \"checked_at\": " << jsonString(formatRfc3339(run.startedAt))
        << ",\n  \"duration_ms\": " << run.durationMs << ",\n  \"zones\": [";
    for (std::size_t i = 0; i < run.zones.size(); ++i) {
        const auto& zone = run.zones[i];
        out << (i == 0 ? "\n" : ",\n") << "    {\"zone\": " << jsonString(zone.zone)
            << ", \"name\": " << jsonString(zone.name)
            << ", \"state\": " << jsonString(zoneStateText(zone.health)) << "}";
    }
    out << (run.zones.empty() ? "],\n" : "\n  ],\n") << "  \"results\": [";
    for (std::size_t i = 0; i < run.results.size(); ++i) {
        const auto& result = run.results[i];
        out << (i == 0 ? "\n" : ",\n") << "    {\"target\": " << jsonString(result.target)
            << ", \"address\": " << jsonString(result.address)
            << ", \"zone\": " << jsonString(result.zone)
            << ", \"verdict\": " << jsonString(checkVerdictText(result.verdict))
            << ", \"answers\": [";
        for (std::size_t a = 0; a < result.answers.size(); ++a) {
            out << (a == 0 ? "" : ", ") << jsonString(result.answers[a]);
        }
        out << "], \"reason\": "
            << jsonOrNull(result.reason.empty() ? std::nullopt
                                                : std::optional<std::string>(result.reason))
            << ", \"change\": "
            << jsonOrNull(result.change ? std::optional<std::string>(
                                              std::string(listingChangeText(*result.change)))
                                        : std::nullopt)
            << ", \"since\": "
            << jsonOrNull(result.since ? std::optional<std::string>(formatRfc3339(*result.since))
                                       : std::nullopt)
            << "}";
    }
    out << (run.results.empty() ? "],\n" : "\n  ],\n") << "  \"unresolved_targets\": [";
    for (std::size_t i = 0; i < run.unresolvedTargets.size(); ++i) {
        out << (i == 0 ? "" : ", ") << jsonString(run.unresolvedTargets[i]);
    }
    out << "],\n  \"unanswered_targets\": [";
    for (std::size_t i = 0; i < run.unansweredTargets.size(); ++i) {
        out << (i == 0 ? "" : ", ") << jsonString(run.unansweredTargets[i]);
    }
    const Counts counts = countsOf(run);
    out << "],\n  \"summary\": {\"addresses\": " << counts.addresses
        << ", \"zones\": " << run.zones.size() << ", \"listed\": " << counts.listed
        << ", \"not_listed\": " << counts.notListed << ", \"no_answer\": " << counts.noAnswer
        << ", \"list_error\": " << counts.listError << ", \"broken_zone\": " << counts.brokenZone
        << ", \"unresolved_targets\": " << run.unresolvedTargets.size()
        << ", \"unanswered_targets\": " << run.unansweredTargets.size() << "}\n}\n";
}

// ---- nagios --------------------------------------------------------------

// Plugin output may hold neither a line break nor "|" outside the perfdata.
std::string pluginText(std::string_view text) {
    std::string plain = escapeForTerminal(text);
    std::replace(plain.begin(), plain.end(), '|', '/');
    return plain;
}

int nagiosState(const CheckRun& run, const CheckOptions& options) {
    const Counts counts = countsOf(run);
    if (counts.listed >= static_cast<std::size_t>(options.critical)) {
        return kNagiosCritical;
    }
    if (counts.listed >= static_cast<std::size_t>(options.warning)) {
        return kNagiosWarning;
    }
    if (!run.unresolvedTargets.empty() || counts.addresses == 0) {
        return kNagiosUnknown;
    }
    const bool incomplete = counts.incomplete() > 0 || !run.unansweredTargets.empty();
    return incomplete ? kNagiosWarning : kNagiosOk;
}

void addOnce(std::vector<std::string>& list, const std::string& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

void printNagios(const CheckRun& run, const CheckOptions& options, std::ostream& out) {
    static constexpr std::array<std::string_view, 4> kStates = {"OK", "WARNING", "CRITICAL",
                                                                "UNKNOWN"};
    const Counts counts = countsOf(run);
    std::vector<std::string> listedAddresses, listingZones, silentZones;
    for (const auto& result : run.results) {
        if (result.verdict == CheckVerdict::Listed) {
            addOnce(listedAddresses, result.address);
            addOnce(listingZones, result.zone);
        } else if (result.verdict != CheckVerdict::NotListed) {
            addOnce(silentZones, result.zone);
        }
    }
    std::vector<std::string> parts;
    if (!listedAddresses.empty()) {
        parts.push_back((listedAddresses.size() == 1
                             ? listedAddresses.front()
                             : plural(listedAddresses.size(), "address", "addresses")) +
                        " listed on " + joined(listingZones, ", "));
    }
    if (!run.unresolvedTargets.empty()) {
        parts.push_back("cannot resolve " + joined(run.unresolvedTargets, ", "));
    }
    if (!run.unansweredTargets.empty()) {
        parts.push_back("no answer for " + joined(run.unansweredTargets, ", "));
    }
    if (!silentZones.empty()) {
        parts.push_back("no verdict from " + joined(silentZones, ", "));
    }
    if (parts.empty()) {
        parts.push_back(plural(counts.addresses, "address", "addresses") + " not listed on " +
                        plural(run.zones.size(), "list", "lists"));
    }
    const auto brokenZones = std::count_if(run.zones.begin(), run.zones.end(), [](const auto& z) {
        return z.health != ZoneHealth::Healthy;
    });
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(run.durationMs) / 1000);
    out << "OSTRIVANE " << kStates[static_cast<std::size_t>(nagiosState(run, options))] << " - "
        << pluginText(joined(parts, "; ")) << " | listed=" << counts.listed << ";"
        << options.warning << ";" << options.critical << ";0;" << run.results.size()
        << " no_answer=" << counts.noAnswer << " broken_zones=" << brokenZones
        << " time=" << seconds << "s\n";
    for (const auto& result : run.results) {
        if (result.verdict != CheckVerdict::Listed) {
            continue;
        }
        std::string line =
            result.address + " listed on " + result.zone + " (" + joined(result.answers, ",") + ")";
        if (!result.reason.empty()) {
            line += ": " + result.reason;
        }
        out << pluginText(line) << '\n';
    }
}

}  // namespace

std::string formatRfc3339(EpochMs time) {
    const auto seconds = static_cast<std::time_t>(time >= 0 ? time / 1000 : (time - 999) / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void printCheckRun(const CheckRun& run, const CheckOptions& options, std::ostream& out) {
    switch (options.format) {
        case CheckFormat::Text:
            printText(run, options, out);
            return;
        case CheckFormat::Json:
            printJson(run, out);
            return;
        case CheckFormat::Nagios:
            printNagios(run, options, out);
            return;
    }
}

int checkExitStatus(const CheckRun& run, const CheckOptions& options) {
    if (options.format == CheckFormat::Nagios) {
        return nagiosState(run, options);
    }
    const Counts counts = countsOf(run);
    if (options.changes) {
        return counts.newListings > 0 ? kCheckListed : kCheckClean;
    }
    if (counts.listed > 0) {
        return kCheckListed;
    }
    if (!run.unresolvedTargets.empty()) {
        return kCheckUnresolved;
    }
    const bool incomplete = counts.incomplete() > 0 || !run.unansweredTargets.empty();
    return incomplete ? kCheckIncomplete : kCheckClean;
}

}  // namespace ostrivane
