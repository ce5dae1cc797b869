#pragma once

#include <functional>

#include <QByteArrayList>
#include <QString>
#include <QStringList>

class QObject;

namespace ostrivane {

// The texts of the TXT records found for a name, one entry a record, in the
// order of the answer; empty when there were none or the question failed.
using TxtAnswer = std::function<void(const QStringList& texts)>;

// Asks for the TXT records of a name without blocking the caller. `done` is
// called at most once, later, from the event loop, and never once `context`
// has been destroyed: the window hands itself (or a part of itself) as the
// context, so an answer cannot outlive what it was meant for. The window uses
// fetchTxtRecords; the tests give one that answers from a script.
using TxtFetcher = std::function<void(const QString& name, QObject& context, TxtAnswer done)>;

// One TXT record's text. A record holds one or more strings of at most 255
// bytes each; lists split a long text across them, so they are joined with
// nothing between. The bytes are read as UTF-8 (invalid bytes become U+FFFD).
QString txtRecordText(const QByteArrayList& strings);

// The real question, through Qt's DNS client and the system's resolver
// configuration (on Linux, the name servers of /etc/resolv.conf).
void fetchTxtRecords(const QString& name, QObject& context, TxtAnswer done);

// How many of fetchTxtRecords' questions may still be waiting on the resolver
// (answered ones no longer count; given-up ones do, as Qt's DNS client keeps
// waiting for them on its own threads, and holds the program's exit up until
// the resolver gives up too).
int txtQuestionsInFlight();

}  // namespace ostrivane
