#include "history/status_page.h"

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "core/blacklist_table.h"
#include "core/information_page.h"
#include "history/time_text.h"
#include "text/html_escape.h"

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
           "th{background:#eee}.zone,.sub{font-size:.85em;color:#555}td.listed "
           ".sub{color:inherit}\n"
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
           "font-size:.8em;color:#666}\n";
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

struct AddressBlock {
    std::string address;
    std::vector<std::string> targets;
    std::vector<const CheckResult*> results;
};

std::vector<AddressBlock> blocksOf(const CheckRun& run) {
    std::vector<AddressBlock> blocks;
    std::map<std::string, std::size_t> index;
    for (const auto& result : run.results) {
        auto [at, added] = index.emplace(result.address, blocks.size());
        if (added) {
            blocks.push_back({result.address, {}, {}});
        }
        AddressBlock& block = blocks[at->second];
        bool knownTarget = result.target == result.address;
        for (const auto& target : block.targets) {
            knownTarget = knownTarget || target == result.target;
        }
        if (!knownTarget) {
            block.targets.push_back(result.target);
        }
        block.results.push_back(&result);
    }
    return blocks;
}

// What every row of the page looks up: the lists' names, the day strips and
// the run's start.
struct PageContext {
    std::map<std::string, std::string> nameOfZone;
    std::map<std::pair<std::string, std::string>, const DayStrip*> stripOf;
    const RecentDays& recent;
    bool withStrips = false;
    EpochMs startedAt = 0;
};

PageContext contextOf(const CheckRun& run, const RecentDays& recent) {
    PageContext context{{}, {}, recent, recent.dayCount > 0, run.startedAt};
    for (const auto& zone : run.zones) {
        context.nameOfZone[zone.zone] = zone.name;
    }
    for (const auto& strip : recent.strips) {
        context.stripOf[{strip.address, strip.zone}] = &strip;
    }
    return context;
}

// The head, the title and the line that sums the run up.
std::string pageTop(const CheckRun& run, std::size_t addressCount, const std::string& checkedAt) {
    int listed = 0;
    int fresh = 0;
    int cleared = 0;
    for (const auto& result : run.results) {
        listed += result.verdict == CheckVerdict::Listed;
        fresh += result.change == ListingChange::New;
        cleared += result.change == ListingChange::Cleared;
    }
    std::string html;
    html += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>Blacklist status, " + htmlEscape(checkedAt) + "</title>\n";
    html += "<style>\n" + styleSheet() + "</style>\n</head>\n<body>\n";
    html += "<h1>Blacklist status</h1>\n";
    html += "<p class=\"meta\">Checked " + htmlEscape(checkedAt) + " in " +
            std::to_string(run.durationMs) + " ms: " + std::to_string(addressCount) +
            " addresses, " + std::to_string(run.zones.size()) + " lists; " +
            std::to_string(listed) + " listings (" + std::to_string(fresh) + " new), " +
            std::to_string(cleared) + " cleared.</p>\n";
    if (!run.unresolvedTargets.empty()) {
        html += "<p class=\"meta\">Could not be resolved:";
        for (const auto& target : run.unresolvedTargets) {
            html += ' ';
            html += htmlEscape(target);
        }
        html += "</p>\n";
    }
    return html;
}

// One result's row of an address's table.
std::string resultRow(const CheckResult& result, PageContext& context) {
    const std::string& name = context.nameOfZone[result.zone];
    const std::string label = name.empty() ? result.zone : name;
    std::string html = "<tr><td><a href=\"" + htmlEscape(informationPageFor(label)) + "\">" +
                       htmlEscape(label) + "</a>";
    if (!name.empty()) {
        html += "<div class=\"zone\">" + htmlEscape(result.zone) + "</div>";
    }
    html += "</td><td class=\"";
    html += verdictClass(result.verdict);
    html += "\">";
    html += htmlEscape(checkVerdictText(result.verdict));
    for (const auto& answer : result.answers) {
        html += ' ';
        html += htmlEscape(answer);
    }
    if (result.change && result.change != ListingChange::Ongoing) {
        html +=
            "<span class=\"change\">" + htmlEscape(listingChangeText(*result.change)) + "</span>";
    }
    html += "</td><td>" + sinceCell(result, context.startedAt) + "</td><td class=\"reason\">" +
            htmlEscape(result.reason) + "</td>";
    if (context.withStrips) {
        const auto strip = context.stripOf.find({result.address, result.zone});
        html += stripCell(strip == context.stripOf.end() ? nullptr : strip->second, context.recent);
    }
    html += "</tr>\n";
    return html;
}

// An address's heading, with the targets that stood for it, and its table.
std::string blockSection(const AddressBlock& block, PageContext& context) {
    std::string html = "<h2>" + htmlEscape(block.address);
    if (!block.targets.empty()) {
        html += " <span class=\"targets\">(";
        for (std::size_t i = 0; i < block.targets.size(); ++i) {
            html += i ? ", " : "";
            html += htmlEscape(block.targets[i]);
        }
        html += ")</span>";
    }
    html += "</h2>\n<table>\n<tr><th>List</th><th>Verdict</th><th>Since</th><th>Reason</th>";
    if (context.withStrips) {
        html += "<th>Last " + std::to_string(context.recent.dayCount) + " days (UTC)</th>";
    }
    html += "</tr>\n";
    for (const CheckResult* result : block.results) {
        html += resultRow(*result, context);
    }
    html += "</table>\n";
    return html;
}

std::string stripLegend(const RecentDays& recent) {
    return "<p class=\"legend\">Each day: <span class=\"day listed\"></span> listed by at least "
           "one run, <span class=\"day clear\"></span> not listed, <span class=\"day "
           "unknown\"></span> no run had an answer. From " +
           htmlEscape(utcDayText(recent.firstDay)) + " to " +
           htmlEscape(
               utcDayText(recent.firstDay + static_cast<EpochMs>(recent.dayCount - 1) * kDayMs)) +
           ".</p>\n";
}

}  // namespace

std::string renderStatusPage(const CheckRun& run, const RecentDays& recent) {
    PageContext context = contextOf(run, recent);
    const auto blocks = blocksOf(run);
    const std::string checkedAt = utcMinuteText(run.startedAt);
    std::string html = pageTop(run, blocks.size(), checkedAt);
    for (const auto& block : blocks) {
        html += blockSection(block, context);
    }
    if (context.withStrips) {
        html += stripLegend(recent);
    }
    html += "<footer>Made by Ostrivane " OSTRIVANE_VERSION " on " + htmlEscape(checkedAt) +
            ".</footer>\n</body>\n</html>\n";
    return html;
}

}  // namespace ostrivane
