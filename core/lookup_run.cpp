#include "core/lookup_run.h"

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
    const std::string name = queryName(reversed, zone);
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
    const Verdict verdict = verdictFor(answer);
    table.setResult(row, verdict.text);
    applyHighlight(table, row, verdict.highlight);

    summary.rows[static_cast<std::size_t>(row)] = QueriedRow{name, zone, verdict.text};
    ++summary.queried;
    summary.listed += verdict.kind == VerdictKind::Listed;
    summary.listErrors += verdict.kind == VerdictKind::ListError;
    summary.unanswered += verdict.kind == VerdictKind::NoAnswer;
    return true;
}

}  // namespace

LookupSummary runLookup(BlacklistTable& table, LookupView& view, Resolver& resolver,
                        const std::function<void()>& pause) {
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

    finish(view);
    summary.outcome = LookupOutcome::Completed;
    return summary;
}

}  // namespace ostrivane
