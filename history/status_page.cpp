#include "history/status_page.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "core/ip_address.h"
#include "history/listing_streak.h"
#include "history/page_cells.h"
#include "history/page_style.h"
#include "history/time_text.h"
#include "text/html_escape.h"
#include "text/phrases.h"

namespace ostrivane {

namespace {

std::string headOf(const CheckRun& run, const PageFacts& facts) {
    const std::string checkedAt = htmlEscape(utcMinuteText(run.startedAt));
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>Blacklist status, " + checkedAt + "</title>\n";
    html += "<style>\n" + pageStyleSheet() + "</style>\n</head>\n<body>\n";
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

}  // namespace

std::string renderStatusPage(const CheckRun& run, const RecentDays& recent) {
    const PageFacts facts = factsOf(run, recent);
    std::string html = headOf(run, facts);
    html += actionSection(run, facts);
    html += listedAddressesSection(run, facts, recent);
    html += cleanBlocksSection(run);
    html += pageLegend(recent, facts.withHistory);
    html += "<footer>Made by Ostrivane " OSTRIVANE_VERSION " on " +
            htmlEscape(utcMinuteText(run.startedAt)) + ".</footer>\n</body>\n</html>\n";
    return html;
}

}  // namespace ostrivane
