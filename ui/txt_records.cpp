#include "ui/txt_records.h"

#include <atomic>
#include <utility>

#include <QDnsLookup>

namespace ostrivane {

namespace {

std::atomic<int> g_inFlight{0};

}  // namespace

int txtQuestionsInFlight() {
    return g_inFlight.load();
}

QString txtRecordText(const QByteArrayList& strings) {
    return QString::fromUtf8(strings.join());
}

void fetchTxtRecords(const QString& name, QObject& context, TxtAnswer done) {
    // A child of the context: destroying the context cancels the question and
    // with it the call to `done`.
    auto* lookup = new QDnsLookup(QDnsLookup::TXT, name, &context);
    ++g_inFlight;
    QObject::connect(lookup, &QDnsLookup::finished, lookup, [lookup, done = std::move(done)] {
        // A cancelled question is still being asked by Qt's worker thread.
        if (lookup->error() != QDnsLookup::OperationCancelledError) {
            --g_inFlight;
        }
        QStringList texts;
        // A name without TXT records, or a server that did not answer, leaves
        // nothing to say: both come back as no texts at all.
        if (lookup->error() == QDnsLookup::NoError) {
            for (const QDnsTextRecord& record : lookup->textRecords()) {
                texts.append(txtRecordText(record.values()));
            }
        }
        lookup->deleteLater();
        done(texts);
    });
    lookup->lookup();
}

}  // namespace ostrivane
