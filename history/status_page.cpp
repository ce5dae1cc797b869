#include "history/status_page.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/blacklist_table.h"
#include "core/information_page.h"
#include "core/ip_address.h"
#include "history/listing_streak.h"
#include "history/time_text.h"
#include "text/html_escape.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

std::string cssColour(Rgb colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.red, colour.green, colour.blue);
    return text;
}

// The window's colours: a listing white on dark red, everything else plain;
// what is unknown is grey, which the window never shows (it has no history).
std::string styleSheet() {
    const std::string listedBack = cssColour(backgroundOf(RowHighlight::Listed));
    const std::string listedText = cssColour(textColourOf(RowHighlight::Listed));
    const std::string plainBack = cssColour(backgroundOf(RowHighlight::Plain));
    const std::string plainText = cssColour(textColourOf(RowHighlight::Plain));
    return "body{font-family:sans-serif;margin:1.5em;color:" + plainText +
           ";background:" + plainBack +
           "}\n"
           "h1{font-size:1.4em;margin:0 0 .3em}h2{font-size:1.1em;margin:1.4em 0 .4em}\n"
           ".meta{color:#444;margin:0}.targets{font-weight:normal;color:#444}\n"
           "table{border-collapse:collapse}th,td{border:1px solid #999;padding:.25em "
           ".5em;text-align:left;vertical-align:middle;white-space:nowrap}\n"
           "td.reason{white-space:normal;min-width:12em;max-width:24em;overflow-wrap:anywhere}\n"
           "th{background:#eee}.zone,.sub,.meaning,.via{font-size:.85em;color:#555}td.listed "
           ".sub,td.listed "
           ".meaning{color:inherit;font-weight:normal}.via{display:block;font-weight:normal}\n"
           ".meaning{white-space:normal;min-width:12em;max-width:22em}\n"
           "td.listed{background:" +
           listedBack + ";color:" + listedText +
           ";font-weight:bold}\n"
           "td.clear{background:" +
           plainBack + ";color:" + plainText +
           "}td.unknown{background:#d9d9d9}\n"
           ".change{display:inline-block;margin-left:.4em;padding:0 .3em;border:1px solid "
           "currentColor;font-size:.8em;font-weight:bold}\n"
           ".strip{white-space:nowrap}.day{display:inline-block;width:.6em;height:1.1em;"
           "margin-right:1px;border:1px solid #999;vertical-align:middle}\n"
           ".day.listed{background:" +
           listedBack + ";border-color:" + listedBack + "}.day.clear{background:" + plainBack +
           "}.day.unknown{background:#d9d9d9}\n"
           ".legend{margin-top:1.5em;font-size:.9em;color:#444}footer{margin-top:1em;"
           "font-size:.8em;color:#666}\nh3{font-size:1em;margin:1em 0 .3em}.fine{color:#265c00}\n";
}

const char* dayClass(DayState state) {
    switch (state) {
        case DayState::Listed:
            return "listed";
        case DayState::Clear:
            return "clear";
        case DayState::Unknown:
            break;
    }
    return "unknown";
}

const char* verdictClass(CheckVerdict verdict) {
    switch (verdict) {
        case CheckVerdict::Listed:
            return "listed";
        case CheckVerdict::NotListed:
            return "clear";
        default:
            return "unknown";
    }
}

std::string sinceCell(const CheckResult& result, EpochMs now) {
    if (!result.since) {
        return {};
    }
    const std::string from = htmlEscape(utcMinuteText(*result.since));
    const std::string lasting =
        "<div class=\"sub\">for " + htmlEscape(durationText(now - *result.since)) + "</div>";
    if (result.change == ListingChange::Cleared) {
        return "listed from " + from + lasting;
    }
    return from + lasting;
}

std::string stripCell(const DayStrip* strip, const RecentDays& recent) {
    if (!strip) {
        return "<td class=\"strip\">no history</td>";
    }
    std::string cell = "<td class=\"strip\">";
    for (std::size_t day = 0; day < strip->days.size(); ++day) {
        const char* state = dayClass(strip->days[day]);
        const std::string title =
            utcDayText(recent.firstDay + static_cast<EpochMs>(day) * kDayMs) + ": " + state;
        cell += "<span class=\"day ";
        cell += state;
        cell += "\" title=\"" + htmlEscape(title) + "\"></span>";
    }
    return cell + "</td>";
}

// What the page says of a value from outside (a list's name, a TXT record):
// markup escaped, and control characters and bidirectional overrides shown as
// escapes, as the text output shows them, so that no value reorders the text
// around it.
std::string pageText(std::string_view text) {
    return htmlEscape(escapeForTerminal(text));
}

std::string counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

// Everything the sections share, read from the run once.
struct PageFacts {
    std::map<std::string, std::string> nameOfZone;
    std::map<std::string, std::string> infoOfZone;  // the catalog's information pages
    std::map<std::pair<std::string, std::string>, const DayStrip*> stripOf;
    std::map<std::string, std::vector<std::string>> targetsOf;     // other than the address
    std::map<std::string, const std::vector<std::string>*> viaOf;  // of mail targets' subjects
    std::vector<std::string> addresses;                            // in the run's order
    std::set<std::string> shown;  // addresses with a listing or a cleared one
    std::size_t domainNames = 0;  // subjects that are names (of mail targets), not addresses
    bool domainShown = false;
    bool withHistory = false;
    std::size_t listed = 0;
    std::size_t fresh = 0;
    std::size_t cleared = 0;
};

PageFacts factsOf(const CheckRun& run, const RecentDays& recent) {
    PageFacts facts;
    facts.withHistory = recent.dayCount > 0;
    for (const auto& zone : run.zones) {
        facts.nameOfZone[zone.zone] = zone.name;
        // A web page only: a drop-in's "javascript:" is no link of ours.
        if (zone.info.rfind("https://", 0) == 0 || zone.info.rfind("http://", 0) == 0) {
            facts.infoOfZone[zone.zone] = zone.info;
        }
    }
    for (const auto& strip : recent.strips) {
        facts.stripOf[{strip.address, strip.zone}] = &strip;
    }
    for (const auto& result : run.results) {
        auto [targets, added] = facts.targetsOf.try_emplace(result.address);
        const bool name = !parseIpAddress(result.address).has_value();
        if (added) {
            facts.addresses.push_back(result.address);
            facts.domainNames += name;
        }
        if (!result.via.empty()) {
            facts.viaOf.try_emplace(result.address, &result.via);
        }
        if (result.target != result.address &&
            std::find(targets->second.begin(), targets->second.end(), result.target) ==
                targets->second.end()) {
            targets->second.push_back(result.target);
        }
        facts.listed += result.verdict == CheckVerdict::Listed;
        facts.fresh += result.change == ListingChange::New;
        facts.cleared += result.change == ListingChange::Cleared;
        if (result.verdict == CheckVerdict::Listed || result.change == ListingChange::Cleared) {
            facts.shown.insert(result.address);
            facts.domainShown = facts.domainShown || name;
        }
    }
    return facts;
}

std::string listCell(const PageFacts& facts, const std::string& zone) {
    const auto found = facts.nameOfZone.find(zone);
    const std::string name = found == facts.nameOfZone.end() ? std::string() : found->second;
    const std::string label = name.empty() ? zone : name;
    // The catalog's page for a list it knows, else the window's rule.
    const auto info = facts.infoOfZone.find(zone);
    const std::string page =
        info != facts.infoOfZone.end() ? info->second : informationPageFor(label);
    std::string cell = "<td><a href=\"" + htmlEscape(page) + "\">" + pageText(label) + "</a>";
    if (!name.empty()) {
        cell += "<div class=\"zone\">" + pageText(zone) + "</div>";
    }
    return cell + "</td>";
}

std::string addressLabel(const PageFacts& facts, const std::string& address) {
    std::string label = pageText(address);
    const auto& targets = facts.targetsOf.at(address);
    if (!targets.empty()) {
        label += " <span class=\"targets\">(";
        for (std::size_t i = 0; i < targets.size(); ++i) {
            label += (i ? ", " : "") + pageText(targets[i]);
        }
        label += ")</span>";
    }
    if (const auto via = facts.viaOf.find(address); via != facts.viaOf.end()) {
        label += "<span class=\"via\">via ";
        for (std::size_t i = 0; i < via->second->size(); ++i) {
            label += (i ? "; " : "") + pageText((*via->second)[i]);
        }
        label += "</span>";
    }
    return label;
}

// An answer with what the list's catalog entry says of it: "127.0.0.10
// policy-listing: PBL: …"; bare when the list is not in the catalog.
std::string answerMeaningLine(const CheckResult& result, std::size_t answer) {
    if (answer >= result.meanings.size()) {
        return {};
    }
    const AnswerMeaning& meaning = result.meanings[answer];
    std::string line = "<div class=\"meaning\">" + pageText(result.answers[answer]) + ' ' +
                       pageText(meaning.answerClass);
    if (!meaning.meaning.empty()) {
        line += ": " + pageText(meaning.meaning);
    }
    return line + "</div>";
}

std::string verdictCell(const CheckResult& result) {
    std::string cell = std::string("<td class=\"") + verdictClass(result.verdict) + "\">" +
                       htmlEscape(checkVerdictText(result.verdict));
    std::string meanings;
    for (std::size_t answer = 0; answer < result.answers.size(); ++answer) {
        const std::string line = answerMeaningLine(result, answer);
        if (line.empty()) {
            cell += ' ' + pageText(result.answers[answer]);
        }
        meanings += line;
    }
    if (result.change && result.change != ListingChange::Ongoing) {
        cell +=
            "<span class=\"change\">" + htmlEscape(listingChangeText(*result.change)) + "</span>";
    }
    return cell + meanings + "</td>";
}

std::string headOf(const CheckRun& run, const PageFacts& facts) {
    const std::string checkedAt = htmlEscape(utcMinuteText(run.startedAt));
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>Blacklist status, " + checkedAt + "</title>\n";
    html += "<style>\n" + styleSheet() + "</style>\n</head>\n<body>\n";
    html += "<h1>Blacklist status</h1>\n";
    html +=
        "<p class=\"meta\">Checked " + checkedAt + " in " + std::to_string(run.durationMs) +
        " ms: " + counted(facts.addresses.size() - facts.domainNames, "address", "addresses") +
        (facts.domainNames > 0 ? ", " + counted(facts.domainNames, "domain name", "domain names")
                               : std::string()) +
        ", " + counted(run.zones.size(), "list", "lists") + "; " +
        counted(facts.listed, "listing", "listings");
    if (facts.withHistory) {
        html += " (" + std::to_string(facts.fresh) + " new), " + std::to_string(facts.cleared) +
                " cleared";
    }
    html += ".</p>\n";
    if (!run.unresolvedTargets.empty()) {
        html += "<p class=\"meta\">Could not be resolved:";
        for (const auto& target : run.unresolvedTargets) {
            html += ' ' + pageText(target);
        }
        html += "</p>\n";
    }
    return html;
}

// The listings, new ones first, one row each.
std::string listingsTable(const CheckRun& run, const PageFacts& facts) {
    std::vector<const CheckResult*> listings;
    for (const auto& result : run.results) {
        if (result.verdict == CheckVerdict::Listed) {
            listings.push_back(&result);
        }
    }
    if (listings.empty()) {
        return {};
    }
    std::stable_partition(listings.begin(), listings.end(), [](const CheckResult* result) {
        return result->change == ListingChange::New;
    });
    std::string html = "<h3>" + counted(listings.size(), "listing", "listings") +
                       "</h3>\n<table>\n<tr><th>Address</th><th>List</th><th>Verdict</th>"
                       "<th>Since</th><th>Reason</th></tr>\n";
    for (const CheckResult* result : listings) {
        html += "<tr><td>" + addressLabel(facts, result->address) + "</td>" +
                listCell(facts, result->zone) + verdictCell(*result) + "<td>" +
                sinceCell(*result, run.startedAt) + "</td><td class=\"reason\">" +
                pageText(result->reason) + "</td></tr>\n";
    }
    return html + "</table>\n";
}

// Lists that are broken, and lists that left addresses without an answer.
std::string listsTable(const CheckRun& run, const PageFacts& facts) {
    std::map<std::string, std::pair<std::size_t, std::size_t>> unanswered;  // no answer, error
    std::map<std::string, std::set<std::string>> errorCodes;  // what the codes mean, per zone
    for (const auto& result : run.results) {
        if (result.verdict == CheckVerdict::NoAnswer) {
            ++unanswered[result.zone].first;
        } else if (result.verdict == CheckVerdict::ListError) {
            ++unanswered[result.zone].second;
            for (std::size_t a = 0; a < result.meanings.size() && a < result.answers.size(); ++a) {
                if (!result.meanings[a].meaning.empty()) {
                    errorCodes[result.zone].insert(result.answers[a] + ": " +
                                                   result.meanings[a].meaning);
                }
            }
        }
    }
    std::string rows;
    for (const auto& zone : run.zones) {
        std::string why;
        if (zone.health != ZoneHealth::Healthy) {
            why = "broken: " + std::string(zoneHealthText(zone.health)) +
                  "; its answers are not trusted";
        } else if (const auto found = unanswered.find(zone.zone); found != unanswered.end()) {
            const auto [silent, errors] = found->second;
            why = silent ? "no answer for " + counted(silent, "address", "addresses") : "";
            why += errors ? std::string(silent ? "; " : "") + "an error code for " +
                                counted(errors, "address", "addresses")
                          : "";
        }
        if (why.empty()) {
            continue;
        }
        std::string cell = pageText(why);
        for (const auto& code : errorCodes[zone.zone]) {
            cell += "<div class=\"meaning\">" + pageText(code) + "</div>";
        }
        rows += "<tr>" + listCell(facts, zone.zone) + "<td>" + cell + "</td></tr>\n";
    }
    if (rows.empty()) {
        return {};
    }
    return "<h3>Lists that did not give every answer</h3>\n<table>\n<tr><th>List</th><th>Why"
           "</th></tr>\n" +
           rows + "</table>\n";
}

std::string actionSection(const CheckRun& run, const PageFacts& facts) {
    const std::string listings = listingsTable(run, facts);
    const std::string lists = listsTable(run, facts);
    if (listings.empty() && lists.empty()) {
        return "<h2>Needs action</h2>\n<p class=\"fine\">Nothing: no address is listed and "
               "every list answered.</p>\n";
    }
    return "<h2>Needs action</h2>\n" + listings + lists;
}

// Each address with a listing (or one cleared by this run): all its lists,
// with the strip of the last days.
std::string listedAddressesSection(const CheckRun& run, const PageFacts& facts,
                                   const RecentDays& recent) {
    if (facts.shown.empty()) {
        return {};
    }
    std::map<std::string, std::vector<const CheckResult*>> resultsOf;
    for (const auto& result : run.results) {
        if (facts.shown.count(result.address) != 0) {
            resultsOf[result.address].push_back(&result);
        }
    }
    std::string html = facts.domainShown ? "<h2>Listed addresses and domain names</h2>\n"
                                         : "<h2>Listed addresses</h2>\n";
    for (const auto& address : facts.addresses) {
        if (facts.shown.count(address) == 0) {
            continue;
        }
        html += "<h3>" + addressLabel(facts, address) +
                "</h3>\n<table>\n<tr><th>List</th>"
                "<th>Verdict</th><th>Since</th><th>Reason</th>";
        if (facts.withHistory) {
            html += "<th>Last " + std::to_string(recent.dayCount) + " days (UTC)</th>";
        }
        html += "</tr>\n";
        for (const CheckResult* result : resultsOf[address]) {
            html += "<tr>" + listCell(facts, result->zone) + verdictCell(*result) + "<td>" +
                    sinceCell(*result, run.startedAt) + "</td><td class=\"reason\">" +
                    pageText(result->reason) + "</td>";
            if (facts.withHistory) {
                const auto strip = facts.stripOf.find({result->address, result->zone});
                html += stripCell(strip == facts.stripOf.end() ? nullptr : strip->second, recent);
            }
            html += "</tr>\n";
        }
        html += "</table>\n";
    }
    return html;
}

// The block an address is counted in: its /24, or its /64 for IPv6; a domain
// name (a mail target's subject) is a row of its own, after the addresses.
using BlockKey = std::pair<IpAddress, std::string>;
std::pair<BlockKey, std::string> blockOf(const std::string& text) {
    auto address = parseIpAddress(text);
    if (!address) {
        IpAddress last{IpAddress::Family::V6, {}};
        std::fill(last.bytes.begin(), last.bytes.end(), 0xff);
        return {{last, text}, text};
    }
    const bool v4 = address->family == IpAddress::Family::V4;
    std::fill(address->bytes.begin() + (v4 ? 3 : 8), address->bytes.end(), 0);
    return {{*address, {}}, formatIpAddress(*address) + (v4 ? "/24" : "/64")};
}

struct BlockCount {
    std::string name;
    std::size_t addresses = 0;
    std::size_t clean = 0;
    std::size_t listed = 0;
};

// The addresses without a listing, counted per block: the page does not grow
// with clean addresses.
std::string cleanBlocksSection(const CheckRun& run) {
    std::map<std::string, bool> listed;    // per address: any listing
    std::map<std::string, bool> answered;  // per address: every verdict known
    for (const auto& result : run.results) {
        listed[result.address] = listed[result.address] || result.verdict == CheckVerdict::Listed;
        auto [known, added] = answered.try_emplace(result.address, true);
        known->second = known->second && isKnown(result.verdict);
    }
    std::map<BlockKey, BlockCount> blocks;
    for (const auto& [address, isListed] : listed) {
        auto [key, name] = blockOf(address);
        BlockCount& block = blocks[key];
        block.name = name;
        ++block.addresses;
        block.listed += isListed;
        block.clean += !isListed && answered[address];
    }
    std::string html =
        "<h2>Addresses per block</h2>\n<table>\n<tr><th>Block</th><th>Checked</th><th>Clean</th>"
        "<th>Listed</th><th>Without every answer</th></tr>\n";
    for (const auto& [key, block] : blocks) {
        html += "<tr><td>" + pageText(block.name) + "</td><td>" + std::to_string(block.addresses) +
                "</td><td>" + std::to_string(block.clean) + "</td><td>" +
                std::to_string(block.listed) + "</td><td>" +
                std::to_string(block.addresses - block.clean - block.listed) + "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string legendOf(const RecentDays& recent, bool withHistory) {
    std::string html =
        "<div class=\"legend\"><p>Verdicts: <strong>listed</strong>, the list has the address (its "
        "answer "
        "code says why); <strong>not-listed</strong>, the list answered that it has not; "
        "<strong>no-answer</strong>, "
        "the list's servers did not answer in time, so the address may be listed or not; "
        "<strong>list-error</strong>, the list answered with an error code (often: it refuses this "
        "resolver), which says nothing of the address; <strong>broken-zone</strong>, the list "
        "lists "
        "every address or none, so none of its answers is trusted. Clean: not listed by any "
        "list, every list answered.</p>\n<p>Beside an answer code, what the list says it "
        "means, from the catalog of lists: <strong>listing</strong>; "
        "<strong>policy-listing</strong>, listed by the list's policy (an end-user range, "
        "say), still a listing; <strong>list-error</strong>, an error of the list, nothing "
        "of the address. <strong>via</strong>: how a mail target (mx:, spf:, mail:) reached "
        "the address or name.</p>\n";
    if (withHistory) {
        html +=
            "<p>Changes since the previous run: <span class=\"change\">new</span> listed "
            "now and not before, <span class=\"change\">cleared</span> listed before and "
            "not now. Each day: <span class=\"day listed\"></span> listed by at least one "
            "run, <span class=\"day clear\"></span> not listed, <span class=\"day "
            "unknown\"></span> no run had an answer. From " +
            htmlEscape(utcDayText(recent.firstDay)) + " to " +
            htmlEscape(
                utcDayText(recent.firstDay + static_cast<EpochMs>(recent.dayCount - 1) * kDayMs)) +
            ".</p>\n";
    }
    return html + "</div>\n";
}

}  // namespace

std::string renderStatusPage(const CheckRun& run, const RecentDays& recent) {
    const PageFacts facts = factsOf(run, recent);
    std::string html = headOf(run, facts);
    html += actionSection(run, facts);
    html += listedAddressesSection(run, facts, recent);
    html += cleanBlocksSection(run);
    html += legendOf(recent, facts.withHistory);
    html += "<footer>Made by Ostrivane " OSTRIVANE_VERSION " on " +
            htmlEscape(utcMinuteText(run.startedAt)) + ".</footer>\n</body>\n</html>\n";
    return html;
}

}  // namespace ostrivane
