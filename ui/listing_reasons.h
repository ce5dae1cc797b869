#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include <QObject>

#include "core/blacklist_table.h"
#include "core/lookup_run.h"
#include "ui/main_window_controls.h"
#include "ui/txt_records.h"

namespace ostrivane {

// Why a host is listed: most lists publish the reason, often with a removal
// link, as TXT records beside the address they answer. A listed row's result
// cell shows them as its tool tip; every other result cell has none.
//
// The records are asked only after a lookup run is over, never among its
// steps, so the run keeps its order, its yields and its resolutions. The answer
// comes later, from the event loop. A tip belongs to the verdict it explains:
// when the row's result or zone changes (a new run clears it, the user types,
// restoring the defaults gives it another zone), the tip goes and a late answer
// for it is ignored. A zone that stays the same keeps the tip: the verdict beside
// it still stands.
//
// While the answer is outstanding, and when it holds no record (or the question
// failed), the tool tip stays empty: the cell then looks as it did before the
// question, and an empty tip never pretends to know why nothing came.
class ListingReasons final : public QObject {
  public:
    // The controls must outlive this object. Without a fetcher nothing is
    // ever asked and no tool tip appears.
    ListingReasons(const MainWindowControls& controls, TxtFetcher fetch);

    // After a run: asks for the reasons of every row that the run found
    // listed and that still shows the run's verdict under the same zone.
    void explainListedRows(const BlacklistTable& table, const QueriedRows& queried);

    // At close: every question still open is given up, and its answer, should
    // one come, is ignored.
    void abandonQuestions();

  private:
    // Asks for one row's reason; the answer becomes its tool tip.
    void explain(int row, const QString& queryName);
    // Drops the row's tool tip and whatever answer is still on its way.
    void forget(int row);
    void answered(int row, std::uint64_t ticket, const QStringList& texts);

    const MainWindowControls& m_controls;
    TxtFetcher m_fetch;
    // The ticket of the question each row waits for; 0: none. Tickets are
    // never reused, so an answer to an earlier question never matches.
    std::array<std::uint64_t, kRowCount> m_awaited{};
    std::uint64_t m_lastTicket = 0;
    // The context of every open question: destroying it gives them all up.
    std::unique_ptr<QObject> m_questions;
};

// What a tool tip shows of a list's records: no list can fill the screen.
inline constexpr int kMaxTipRecords = 10;
inline constexpr int kMaxTipRecordLength = 200;  // characters, the ellipsis included
inline constexpr int kMaxTipLineLength = 80;     // characters; longer lines are broken

// The tool tip for the texts of a list's TXT records: the first ten records,
// one a line, each cut at 200 characters, with a line telling how many more
// there were; lines broken at blanks (or, where a word is longer, within it)
// so that the tip is never wider than 80 characters and fits on the screen.
// Shown as plain text even where it looks like markup (it comes from outside).
QString listingReasonTip(const QStringList& texts);

}  // namespace ostrivane
