#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/blacklist_table.h"
#include "core/lookup_view.h"
#include "core/resolver.h"
#include "core/test_points.h"

namespace ostrivane {

enum class LookupOutcome {
    NothingToLookUp,  // the host field was blank: nothing changed
    HostUnresolved,   // the message was shown; every row is cleared
    Completed,        // every row with a zone holds a verdict
    Abandoned,        // the window closed during a yield
};

// What the run asked for one row and what it wrote there, so that a caller can
// follow a verdict up (its listing reason) with the very name the run asked,
// whatever the user has since typed into the host field or the zone.
struct QueriedRow {
    std::string queryName;
    std::string zone;     // the row's zone when the run read it
    std::string verdict;  // the result text the run wrote
};

using QueriedRows = std::array<std::optional<QueriedRow>, kRowCount>;

// What this run wrote; the table itself is the run's real outcome.
struct LookupSummary {
    LookupOutcome outcome = LookupOutcome::NothingToLookUp;
    int queried = 0;
    int listed = 0;
    int listErrors = 0;
    int unanswered = 0;
    QueriedRows rows;       // set for each row this run gave a verdict
    std::string host;       // the host as it was asked, its address suffix cut
    Resolution hostAnswer;  // what the resolver said of it
};

// The host text before its first "(", minus the character just before it (the
// blank of the " (address)" tail that an earlier run appended). A "(" in first
// place leaves the empty text.
std::string cutAddressSuffix(std::string_view host);

// True when the text is empty or holds only blanks (space characters).
bool isBlank(std::string_view text);

// The zone a row's cell asks: its text without leading and trailing blanks
// (space, tab, line breaks, NUL, no-break space) and one final dot. Empty when
// what is left is not a DNS name (an empty label, a label over 63 bytes, a
// blank or control character inside, over 253 bytes): such a row is never
// asked. The cell keeps its text.
std::string zoneToAsk(std::string_view cell);

// The row text of a zone that is not a DNS name.
inline constexpr std::string_view kNotADnsName = "List error: not a DNS name";

// The pause before each blacklist query, to let the window breathe.
void pauseBeforeQuery();

// Checks the host in the view's host field against every row with a zone.
// A row whose zone changes while its question is out (the user types over it,
// or restores the defaults) is left Plain and empty: an answer is written only
// beside the zone that was asked.
// Runs on the caller's thread, yielding to the view's event loop at fixed
// points; keeps no state of its own, so a run started inside one of those
// yields runs to its end there and the outer run then carries on.
//
// With `testPoints`, once every row has its verdict, the lists of the rows
// that got an answer (listed or not) are asked about their test points, all
// at once and within the asker's bound, the view yielding all the while; a
// row whose list is broken then reads what brokenListText says, and counts
// as a list error. Rows that already failed are not asked again.
LookupSummary runLookup(BlacklistTable& table, LookupView& view, Resolver& resolver,
                        const std::function<void()>& pause = pauseBeforeQuery,
                        const TestPointAsker* testPoints = nullptr);

}  // namespace ostrivane
