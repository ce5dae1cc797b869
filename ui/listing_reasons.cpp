#include "ui/listing_reasons.h"

#include <cstddef>
#include <utility>

#include <QLineEdit>
#include <QTextDocument>

#include "core/verdict.h"
#include "ui/qt_text.h"

namespace ostrivane {

namespace {

std::size_t at(int row) {
    return static_cast<std::size_t>(row);
}

}  // namespace

QString listingReasonTip(const QStringList& texts) {
    const QString tip = texts.join(QLatin1Char('\n'));
    // A tool tip that looks like markup is shown as markup; a list's text is
    // shown as the list wrote it.
    return Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal) : tip;
}

ListingReasons::ListingReasons(const Form1Controls& controls, TxtFetcher fetch)
    : m_controls(controls), m_fetch(std::move(fetch)) {
    for (int row = 0; row < kRowCount; ++row) {
        connect(m_controls.Text2.at(at(row)), &QLineEdit::textChanged, this,
                [this, row] { forget(row); });
        connect(m_controls.Text3.at(at(row)), &QLineEdit::textChanged, this,
                [this, row] { forget(row); });
    }
}

void ListingReasons::explainListedRows(const BlacklistTable& table, const QueriedRows& queried) {
    for (int row = 0; row < kRowCount; ++row) {
        const std::optional<QueriedRow>& question = queried.at(at(row));
        if (question && verdictKindOf(question->verdict) == VerdictKind::Listed &&
            table.result(row) == question->verdict && table.zone(row) == question->zone) {
            explain(row, toQString(question->queryName));
        }
    }
}

void ListingReasons::explain(int row, const QString& queryName) {
    forget(row);
    if (!m_fetch) {
        return;
    }
    const std::uint64_t ticket = ++m_lastTicket;
    m_awaited.at(at(row)) = ticket;
    m_fetch(queryName, *this,
            [this, row, ticket](const QStringList& texts) { answered(row, ticket, texts); });
}

void ListingReasons::forget(int row) {
    m_awaited.at(at(row)) = 0;
    m_controls.Text3.at(at(row))->setToolTip(QString());
}

void ListingReasons::answered(int row, std::uint64_t ticket, const QStringList& texts) {
    if (m_awaited.at(at(row)) != ticket) {
        return;
    }
    m_awaited.at(at(row)) = 0;
    m_controls.Text3.at(at(row))->setToolTip(listingReasonTip(texts));
}

}  // namespace ostrivane
