#include "ui/listing_reasons.h"

#include <cstddef>
#include <map>
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

// At most `length` characters, a cut one ending in an ellipsis; a character
// outside the Basic Multilingual Plane is never cut in half.
QString elided(const QString& text, int length) {
    if (text.size() <= length) {
        return text;
    }
    qsizetype keep = length - 1;
    if (text.at(keep - 1).isHighSurrogate()) {
        --keep;
    }
    return text.left(keep) + QChar(0x2026);
}

// The text in lines of at most `width` characters: broken at the last blank
// that fits, or within a word longer than a line.
QStringList brokenIntoLines(QString text, int width) {
    QStringList lines;
    while (text.size() > width) {
        qsizetype cut = text.lastIndexOf(QLatin1Char(' '), width);
        qsizetype next = cut + 1;
        if (cut <= 0) {
            cut = text.at(width - 1).isHighSurrogate() ? width - 1 : width;
            next = cut;
        }
        lines.append(text.left(cut));
        text.remove(0, next);
    }
    lines.append(text);
    return lines;
}

}  // namespace

QString listingReasonTip(const QStringList& texts) {
    QStringList lines;
    for (qsizetype i = 0; i < texts.size() && i < kMaxTipRecords; ++i) {
        lines += brokenIntoLines(elided(texts.at(i), kMaxTipRecordLength), kMaxTipLineLength);
    }
    if (texts.size() > kMaxTipRecords) {
        const qsizetype more = texts.size() - kMaxTipRecords;
        lines.append(more == 1 ? QStringLiteral("(1 more record)")
                               : QStringLiteral("(%1 more records)").arg(more));
    }
    const QString tip = lines.join(QLatin1Char('\n'));
    // A tool tip that looks like markup is shown as markup; a list's text is
    // shown as the list wrote it.
    return Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal) : tip;
}

QString answerMeaningTip(const Catalog& catalog, std::string_view zone, std::string_view result) {
    const CatalogList* list = catalog.findZone(zone);
    std::string_view answer = result;
    for (std::string_view prefix : {kListedPrefix, kListErrorPrefix}) {
        if (answer.substr(0, prefix.size()) == prefix) {
            answer.remove_prefix(prefix.size());
        }
    }
    const auto code = parseAnswerCode(answer);
    if (list == nullptr || answer.size() == result.size() || !code) {
        return {};
    }
    const auto decoded = decodeAnswer(list, {std::uint8_t(*code >> 24), std::uint8_t(*code >> 16),
                                             std::uint8_t(*code >> 8), std::uint8_t(*code)});
    static const std::map<AnswerClass, std::string_view> kClassWords{
        {AnswerClass::Listing, "a listing"},
        {AnswerClass::PolicyListing, "a policy listing"},
        {AnswerClass::ListError, "an error of the list, not a listing"},
        {AnswerClass::Reputation, "a reputation, not a listing"}};
    std::string text = list->name + ": " + std::string(answer) + " is " +
                       std::string(kClassWords.at(decoded.answerClass));
    if (!decoded.meaning.empty()) {
        text += ": " + decoded.meaning;
    }
    if (decoded.refusal) {
        text += ". Ask through a resolver of your own, not a public one.";
    }
    const QString tip = brokenIntoLines(toQString(text), kMaxTipLineLength).join(QLatin1Char('\n'));
    return Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal) : tip;
}

ListingReasons::ListingReasons(const MainWindowControls& controls, TxtFetcher fetch,
                               const Catalog* catalog)
    : m_controls(controls),
      m_fetch(std::move(fetch)),
      m_catalog(catalog),
      m_questions(std::make_unique<QObject>()) {
    for (int row = 0; row < kRowCount; ++row) {
        connect(m_controls.zoneCells.at(at(row)), &QLineEdit::textChanged, this,
                [this, row] { forget(row); });
        connect(m_controls.resultCells.at(at(row)), &QLineEdit::textChanged, this,
                [this, row] { forget(row); });
    }
}

void ListingReasons::explainListedRows(const BlacklistTable& table, const QueriedRows& queried) {
    for (int row = 0; row < kRowCount; ++row) {
        const std::optional<QueriedRow>& question = queried.at(at(row));
        if (!question || table.result(row) != question->verdict ||
            table.zone(row) != question->zone) {
            continue;
        }
        const RowVerdictKind kind = verdictKindOf(question->verdict);
        if (kind == RowVerdictKind::Listed) {
            explain(row, toQString(question->queryName));
        }
        if (m_catalog != nullptr &&
            (kind == RowVerdictKind::Listed || kind == RowVerdictKind::ListError)) {
            m_meanings.at(at(row)) =
                answerMeaningTip(*m_catalog, question->zone, question->verdict);
            m_controls.resultCells.at(at(row))->setToolTip(m_meanings.at(at(row)));
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
    m_fetch(queryName, *m_questions,
            [this, row, ticket](const QStringList& texts) { answered(row, ticket, texts); });
}

void ListingReasons::abandonQuestions() {
    m_awaited.fill(0);
    m_questions = std::make_unique<QObject>();
}

void ListingReasons::forget(int row) {
    m_awaited.at(at(row)) = 0;
    m_meanings.at(at(row)).clear();
    m_controls.resultCells.at(at(row))->setToolTip(QString());
}

void ListingReasons::answered(int row, std::uint64_t ticket, const QStringList& texts) {
    if (m_awaited.at(at(row)) != ticket) {
        return;
    }
    m_awaited.at(at(row)) = 0;
    const QString& meaning = m_meanings.at(at(row));
    const QString reasons = listingReasonTip(texts);
    QString tip = meaning + reasons;
    if (!meaning.isEmpty() && !reasons.isEmpty()) {
        // The reasons come as markup when they looked like it: the meaning joins them as such.
        tip = Qt::mightBeRichText(reasons)
                  ? Qt::convertFromPlainText(meaning, Qt::WhiteSpaceNormal) + reasons
                  : meaning + QStringLiteral("\n\n") + reasons;
    }
    m_controls.resultCells.at(at(row))->setToolTip(tip);
}

}  // namespace ostrivane
