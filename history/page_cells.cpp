#include "history/page_cells.h"

#include <algorithm>

#include "core/information_page.h"
#include "core/ip_address.h"
#include "history/time_text.h"
#include "text/html_escape.h"
#include "text/terminal_text.h"

namespace ostrivane {

namespace {

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

}  // namespace

std::string pageText(std::string_view text) {
    return htmlEscape(escapeForTerminal(text));
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

}  // namespace ostrivane
