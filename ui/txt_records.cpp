#include "ui/txt_records.h"

#include <utility>

#include <QDnsLookup>

namespace ostrivane {

QString txtRecordText(const QByteArrayList& strings) {
    return QString::fromUtf8(strings.join());
}

void fetchTxtRecords(const QString& name, QObject& context, TxtAnswer done) {
    // A child of the context: destroying the context cancels the question and
    // with it the call to `done`.
    auto* lookup = new QDnsLookup(QDnsLookup::TXT, name, &context);
    QObject::connect(lookup, &QDnsLookup::finished, lookup, [lookup, done = std::move(done)] {
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
