#include "core/lookup_run.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/ip_address.h"
#include "core/verdict.h"

namespace ostrivane {

std::string cutAddressSuffix(std::string_view host) {
    const auto paren = host.find('(');
    if (paren == std::string_view::npos) {
        return std::string(host);
    }
    return std::string(host.substr(0, paren == 0 ? 0 : paren - 1));
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

namespace {

bool isEdgeBlank(std::string_view text, std::size_t at, bool fromEnd, std::size_t& width) {
    static constexpr std::string_view kNoBreakSpace = "\xC2\xA0";
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0) {
        width = 1;
        return true;
    }
    const std::size_t start = fromEnd ? at - std::min<std::size_t>(at, 1) : at;
    if (text.substr(start, 2) == kNoBreakSpace) {
        width = 2;
        return true;
    }
    return false;
}

bool isDnsName(std::string_view zone) {
    if (zone.empty() || zone.size() > 253) {
        return false;
    }
    std::size_t label = 0;
    for (const char c : zone) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '.') {
            if (label == 0) {
                return false;
            }
            label = 0;
        } else if (byte <= 0x20 || byte == 0x7F || ++label > 63) {
            return false;
        }
    }
    return label > 0;
}

}  // namespace

std::string zoneToAsk(std::string_view cell) {
    std::size_t width = 0;
    while (!cell.empty() && isEdgeBlank(cell, 0, false, width)) {
        cell.remove_prefix(width);
    }
    while (!cell.empty() && isEdgeBlank(cell, cell.size() - 1, true, width)) {
        cell.remove_suffix(width);
    }
    if (cell.size() > 1 && cell.back() == '.') {
        cell.remove_suffix(1);
    }
    return isDnsName(cell) ? std::string(cell) : std::string();
}

void pauseBeforeQuery() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

namespace {

bool yieldTwice(LookupView& view) {
    return view.yieldToEvents() && view.yieldToEvents();
}

// The row's zone changed during a yield (typed over, or reset to the
// defaults): the answer belongs to the zone that was asked, not to this row.
void leaveUnanswered(BlacklistTable& table, int row) {
    table.setResult(row, "");
    applyHighlight(table, row, RowHighlight::Plain);
}

void finish(LookupView& view) {
    view.setBusyPointer(false);
    view.setLookupEnabled(true);
}

// Asks the row's zone about the reversed address and shows the verdict in the
// row, unless the row has no zone or its zone changed while the window had
// its turn. False when the window was closed meanwhile: the run is abandoned.
bool queryRow(BlacklistTable& table, LookupView& view, Resolver& resolver,
              const std::function<void()>& pause, int row, const std::string& reversed,
              LookupSummary& summary) {
    const std::string zone = table.zone(row);
    if (zone.empty()) {
        return true;
    }
    const std::string asked = zoneToAsk(zone);
    if (asked.empty()) {
        table.setResult(row, std::string(kNotADnsName));
        applyHighlight(table, row, RowHighlight::Plain);
        summary.rows[static_cast<std::size_t>(row)] =
            QueriedRow{std::string(), zone, std::string(kNotADnsName)};
        ++summary.queried;
        ++summary.listErrors;
        return true;
    }
    const std::string name = queryName(reversed, asked);
    table.setResult(row, kQuerying);
    applyHighlight(table, row, RowHighlight::Querying);
    if (!yieldTwice(view)) {
        return false;
    }
    if (table.zone(row) != zone) {
        leaveUnanswered(table, row);
        return true;
    }
    pause();
    const Resolution answer = resolver.resolve(name);
    // The row turns white again while still reading "Querying...": the
    // cyan marks only the moment the query is outstanding.
    table.setBackground(row, kWhite);
    if (!yieldTwice(view)) {
        return false;
    }
    if (table.zone(row) != zone) {
        leaveUnanswered(table, row);
        return true;
    }
    const RowVerdict verdict = verdictFor(answer);
    table.setResult(row, verdict.text);
    applyHighlight(table, row, verdict.highlight);

    summary.rows[static_cast<std::size_t>(row)] = QueriedRow{name, zone, verdict.text};
    ++summary.queried;
    summary.listed += verdict.kind == RowVerdictKind::Listed;
    summary.listErrors += verdict.kind == RowVerdictKind::ListError;
    summary.unanswered += verdict.kind == RowVerdictKind::NoAnswer;
    return true;
}

// The lists of the rows that got an answer, each asked once however many
// rows share it; `listOfRow` gives each row its list's place, or -1.
std::vector<std::string> listsToJudge(const LookupSummary& summary,
                                      std::array<int, kRowCount>& listOfRow) {
    std::vector<std::string> lists;
    for (int row = 0; row < kRowCount; ++row) {
        const auto& queried = summary.rows[static_cast<std::size_t>(row)];
        listOfRow[static_cast<std::size_t>(row)] = -1;
        const RowVerdictKind kind =
            queried ? verdictKindOf(queried->verdict) : RowVerdictKind::NoAnswer;
        if (kind != RowVerdictKind::Listed && kind != RowVerdictKind::NotListed) {
            continue;
        }
        const std::string zone = zoneToAsk(queried->zone);
        auto found = std::find(lists.begin(), lists.end(), zone);
        if (found == lists.end()) {
            found = lists.insert(lists.end(), zone);
        }
        listOfRow[static_cast<std::size_t>(row)] = static_cast<int>(found - lists.begin());
    }
    return lists;
}

// Asks the test points of the answered rows' lists and turns the rows of
// broken lists into list errors. A row changed while the window had its turn
// (its zone typed over, or a run inside a yield wrote it anew) keeps what it
// shows now. False when the window was closed meanwhile.
bool judgeLists(BlacklistTable& table, LookupView& view, const TestPointAsker& testPoints,
                LookupSummary& summary) {
    std::array<int, kRowCount> listOfRow{};
    const std::vector<std::string> lists = listsToJudge(summary, listOfRow);
    if (lists.empty()) {
        return true;
    }
    const auto answers = testPoints.ask(lists, [&view] { return view.yieldToEvents(); });
    if (!answers) {
        return false;
    }
    for (int row = 0; row < kRowCount; ++row) {
        const int list = listOfRow[static_cast<std::size_t>(row)];
        auto& queried = summary.rows[static_cast<std::size_t>(row)];
        if (list < 0 || table.zone(row) != queried->zone || table.result(row) != queried->verdict) {
            continue;
        }
        const auto broken = brokenListText((*answers)[static_cast<std::size_t>(list)]);
        if (!broken) {
            continue;
        }
        summary.listed -= verdictKindOf(queried->verdict) == RowVerdictKind::Listed;
        ++summary.listErrors;
        queried->verdict = *broken;
        table.setResult(row, *broken);
        applyHighlight(table, row, RowHighlight::Plain);
    }
    return true;
}

}  // namespace

LookupSummary runLookup(BlacklistTable& table, LookupView& view, Resolver& resolver,
                        const std::function<void()>& pause, const TestPointAsker* testPoints) {
    LookupSummary summary;
    std::string host = view.hostText();
    if (isBlank(host)) {
        return summary;
    }

    view.setBusyPointer(true);
    for (int row = 0; row < kRowCount; ++row) {
        table.setResult(row, "");
        applyHighlight(table, row, RowHighlight::Plain);
    }
    summary.outcome = LookupOutcome::Abandoned;
    if (!yieldTwice(view)) {
        return summary;
    }
    view.setLookupEnabled(false);

    host = cutAddressSuffix(host);
    summary.host = host;
    summary.hostAnswer = resolver.resolve(host);
    const IPv4Bytes hostAddress = summary.hostAnswer.address;
    if (!hostAddress) {
        finish(view);
        view.showMessage("Unable to resolve " + host, "Couldn't Resolve Host");
        summary.outcome = LookupOutcome::HostUnresolved;
        return summary;
    }

    const std::string dotted = formatDottedQuad(*hostAddress);
    if (dotted != host) {
        view.setHostText(host + " (" + dotted + ")");
    }
    const std::string reversed = reversedName(ipv4Address(*hostAddress));

    for (int row = 0; row < kRowCount; ++row) {
        if (!queryRow(table, view, resolver, pause, row, reversed, summary)) {
            return summary;
        }
    }
    if (testPoints != nullptr && !judgeLists(table, view, *testPoints, summary)) {
        return summary;
    }

    finish(view);
    summary.outcome = LookupOutcome::Completed;
    return summary;
}

}  // namespace ostrivane
