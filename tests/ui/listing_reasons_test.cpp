#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "core/blacklist_table.h"
#include "ui/listing_reasons.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/txt_records.h"
#include "window_test_support.h"

namespace ostrivane {
namespace {

using testing::BoxAnswer;
using testing::HookedResolver;
using testing::OpenedAddresses;

const QString kHost = QStringLiteral("mail.example.test");

// TXT records from a script, answered from the event loop as a DNS client
// would. While `hold` is set the answers wait until release() sends them, so a
// test can let an old answer arrive after a new run.
class ScriptedTxt {
  public:
    struct Question {
        QString name;
        bool duringRun = false;
    };

    std::map<QString, QStringList> records;
    bool hold = false;
    std::vector<Question> asked;
    int delivered = 0;

    TxtFetcher fetcher(const MainWindow* const* form) {
        return [this, form](const QString& name, QObject& context, TxtAnswer done) {
            asked.push_back({name, *form != nullptr && (*form)->lookupInProgress()});
            // The texts as the list publishes them when asked.
            m_waiting.push_back({QPointer<QObject>(&context), records[name], std::move(done)});
            if (!hold) {
                release();
            }
        };
    }

    // Sends the held answers, newest first when asked so.
    void release(bool newestFirst = false) {
        std::vector<Waiting> waiting = std::move(m_waiting);
        m_waiting.clear();
        if (newestFirst) {
            std::reverse(waiting.begin(), waiting.end());
        }
        for (Waiting& answer : waiting) {
            if (answer.context.isNull()) {
                continue;
            }
            QTimer::singleShot(0, answer.context.data(),
                               [this, texts = answer.texts, done = std::move(answer.done)] {
                                   ++delivered;
                                   done(texts);
                               });
        }
    }

    QStringList askedNames() const {
        QStringList names;
        for (const Question& question : asked) {
            names.append(question.name);
        }
        return names;
    }

  private:
    struct Waiting {
        QPointer<QObject> context;
        QStringList texts;
        TxtAnswer done;
    };
    std::vector<Waiting> m_waiting;
};

const QString kReason = QStringLiteral("Listed for spam, see https://bl.test/lookup?ip=192.0.2.10");

}  // namespace

class ListingReasonsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() {
        m_resolver = std::make_unique<HookedResolver>();
        m_txt = std::make_unique<ScriptedTxt>();
        m_form = std::make_unique<MainWindow>(*m_resolver, m_opened.opener(),
                                              m_txt->fetcher(&m_formPointer));
        m_formPointer = m_form.get();
        m_resolver->script.answer(kHost.toStdString(), {192, 0, 2, 10})
            .answer("10.2.0.192.bl.test", {127, 0, 0, 4})
            .answer("10.2.0.192.quiet.test", {127, 0, 0, 2})
            .answer("10.2.0.192.refuse.test", {127, 255, 255, 254})
            .noAnswer("10.2.0.192.servfail.test");
        m_txt->records[QStringLiteral("10.2.0.192.bl.test")] = {kReason};
        // Rows: listed with a reason, not listed, a name without a zone,
        // listed without a reason, a list error, no answer.
        BlacklistTable& table = m_form->table();
        clearTable(table);
        table.setName(0, "Zero");
        table.setZone(0, "bl.test");
        table.setZone(1, "clean.test");
        table.setName(2, "Two");
        table.setZone(3, "quiet.test");
        table.setZone(4, "refuse.test");
        table.setZone(5, "servfail.test");
    }
    void cleanup() {
        m_formPointer = nullptr;
        m_form.reset();
    }

    void listedRowsShowTheirReasonOnceItArrives() {
        lookUp();

        QCOMPARE(result(0), QStringLiteral("Listed: 127.0.0.4"));
        QCOMPARE(result(3), QStringLiteral("Listed: 127.0.0.2"));
        // Only the listed rows are asked, by the names the run asked, after it.
        QCOMPARE(m_txt->askedNames(), (QStringList{QStringLiteral("10.2.0.192.bl.test"),
                                                   QStringLiteral("10.2.0.192.quiet.test")}));
        for (const ScriptedTxt::Question& question : m_txt->asked) {
            QVERIFY2(!question.duringRun, qPrintable(question.name));
        }
        // The run asked its own questions and no others.
        QCOMPARE(m_resolver->script.asked().size(), std::size_t{6});
        QCOMPARE(tip(0), QString());  // pending

        QTRY_COMPARE_WITH_TIMEOUT(m_txt->delivered, 2, 2000);
        QCOMPARE(tip(0), kReason);
        for (int row = 1; row < kRowCount; ++row) {
            QCOMPARE(tip(row), QString());  // row 3: listed, but no reason published
        }
    }

    // The names come from what the run asked, not from the host field or the
    // zone as the user may leave them while the run yields.
    void namesAreTheRunsEvenWhenTheHostFieldIsEdited() {
        m_resolver->beforeAnswer = [this](std::string_view name) {
            if (name == "10.2.0.192.quiet.test") {
                m_form->controls().hostField->setText(QStringLiteral("127.0.0.9"));
            }
        };
        lookUp();

        QCOMPARE(m_txt->askedNames(), (QStringList{QStringLiteral("10.2.0.192.bl.test"),
                                                   QStringLiteral("10.2.0.192.quiet.test")}));
        QTRY_COMPARE_WITH_TIMEOUT(tip(0), kReason, 2000);
    }

    void zoneEditedDuringTheRunLeavesTheRowUnexplained() {
        m_resolver->beforeAnswer = [this](std::string_view name) {
            if (name == "10.2.0.192.quiet.test") {
                m_form->table().setZone(0, "bl2.test");
            }
        };
        lookUp();

        QCOMPARE(result(0), QStringLiteral("Listed: 127.0.0.4"));
        QCOMPARE(m_txt->askedNames(), QStringList{QStringLiteral("10.2.0.192.quiet.test")});
    }

    // A run started inside another's first yield leaves the questions to the
    // outer run, which clears and redoes every row after it.
    void runInsideAnotherAsksOnlyAfterTheOuter() {
        bool started = false;
        QTimer::singleShot(0, m_form.get(), [&] {
            started = true;
            m_form->lookItUp();
        });
        lookUp();

        QVERIFY(started);
        QCOMPARE(m_resolver->script.asked().size(), std::size_t{12});
        QCOMPARE(m_txt->askedNames(), (QStringList{QStringLiteral("10.2.0.192.bl.test"),
                                                   QStringLiteral("10.2.0.192.quiet.test")}));
        for (const ScriptedTxt::Question& question : m_txt->asked) {
            QVERIFY2(!question.duringRun, qPrintable(question.name));
        }
        QTRY_COMPARE_WITH_TIMEOUT(tip(0), kReason, 2000);
    }

    void severalRecordsOneALine() {
        m_txt->records[QStringLiteral("10.2.0.192.bl.test")] = {
            QStringLiteral("Listed for spam"), QStringLiteral("Removal: https://bl.test/remove")};
        lookUp();
        QTRY_COMPARE_WITH_TIMEOUT(
            tip(0), QStringLiteral("Listed for spam\nRemoval: https://bl.test/remove"), 2000);
    }

    void blankHostKeepsTheTips() {
        lookUp();
        QTRY_COMPARE_WITH_TIMEOUT(tip(0), kReason, 2000);

        m_form->controls().hostField->setText(QStringLiteral("   "));
        m_form->lookItUp();
        QCOMPARE(tip(0), kReason);
        QCOMPARE(m_txt->asked.size(), std::size_t{2});
    }

    // A second run drops the first run's tips, and an answer to the first run
    // that arrives after the second run's is ignored.
    void secondRunDropsOldTipsAndIgnoresLateAnswers_data() {
        QTest::addColumn<bool>("stillListed");
        QTest::newRow("listed again") << true;
        QTest::newRow("no longer listed") << false;
    }
    void secondRunDropsOldTipsAndIgnoresLateAnswers() {
        QFETCH(bool, stillListed);
        lookUp();
        QTRY_COMPARE_WITH_TIMEOUT(tip(0), kReason, 2000);

        m_txt->hold = true;
        m_txt->records[QStringLiteral("10.2.0.192.bl.test")] = {QStringLiteral("first run")};
        lookUp();
        QCOMPARE(tip(0), QString());
        m_txt->records[QStringLiteral("10.2.0.192.bl.test")] = {QStringLiteral("second run")};
        if (!stillListed) {
            m_resolver->script.answer("10.2.0.192.bl.test", {127, 255, 255, 254});
        }
        lookUp();
        QCOMPARE(tip(0), QString());

        const int answers = stillListed ? 4 : 3;
        m_txt->release(/*newestFirst=*/true);
        QTRY_COMPARE_WITH_TIMEOUT(m_txt->delivered, 2 + answers, 2000);
        QCOMPARE(tip(0), stillListed ? QStringLiteral("second run") : QString());
    }

    // Whatever changes the row's verdict or zone takes its tip away, or keeps
    // an answer still on its way from becoming one.
    void changesToTheRowDropItsTip_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("whilePending");
        const char* names[] = {"zone edited", "result typed over", "defaults restored"};
        for (int change = 0; change < 3; ++change) {
            QTest::addRow("%s, tip shown", names[change]) << change << false;
            QTest::addRow("%s, answer pending", names[change]) << change << true;
        }
    }
    void changesToTheRowDropItsTip() {
        QFETCH(int, change);
        QFETCH(bool, whilePending);
        m_txt->hold = whilePending;
        lookUp();
        if (!whilePending) {
            QTRY_COMPARE_WITH_TIMEOUT(tip(0), kReason, 2000);
        }

        switch (change) {
            case 0:
                QTest::keyClicks(m_form->controls().zoneCells[0], QStringLiteral("x"));
                break;
            case 1:
                QTest::keyClicks(m_form->controls().resultCells[0], QStringLiteral("x"));
                break;
            default: {
                BoxAnswer box(QStringLiteral("Yes"));
                m_form->confirmReset();
                QVERIFY(box.seen.seen);
            }
        }
        QCOMPARE(tip(0), QString());

        m_txt->release();
        QTRY_COMPARE_WITH_TIMEOUT(m_txt->delivered, 2, 2000);
        QCOMPARE(tip(0), QString());
    }

    void windowClosedBeforeTheAnswer() {
        m_txt->hold = true;
        lookUp();
        m_formPointer = nullptr;
        m_form.reset();
        m_txt->release();
        QTest::qWait(20);
        QCOMPARE(m_txt->delivered, 0);
    }

    // Closing gives the open questions up (their context goes), so that
    // nothing waits on them, and an answer that comes anyway changes nothing.
    void closeGivesUpOpenQuestions() {
        m_txt->hold = true;
        lookUp();
        QVERIFY(!m_txt->asked.empty());
        QVERIFY(m_form->close());
        m_txt->release();
        QTest::qWait(20);
        QCOMPARE(m_txt->delivered, 0);
        QCOMPARE(tip(0), QString());
    }

    void withoutAFetcherNothingIsAsked() {
        MainWindow form(*m_resolver, m_opened.opener());
        clearTable(form.table());
        form.table().setZone(0, "bl.test");
        form.controls().hostField->setText(kHost);
        form.lookItUp();
        QCOMPARE(toQString(form.table().result(0)), QStringLiteral("Listed: 127.0.0.4"));
        QTest::qWait(20);
        QCOMPARE(form.controls().resultCells[0]->toolTip(), QString());
    }

    // --- The texts ---

    void tipText_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("tip");
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("one") << QStringList{kReason} << kReason;
        QTest::newRow("two") << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                             << QStringLiteral("a\nb");
        QTest::newRow("markup is shown, not obeyed")
            << QStringList{QStringLiteral("<b>spam</b> & more")}
            << QStringLiteral("<p>&lt;b&gt;spam&lt;/b&gt; &amp; more</p>");
        QStringList eleven;
        for (int i = 0; i < 11; ++i) {
            eleven.append(QString::number(i));
        }
        QTest::newRow("ten records at most")
            << eleven << QStringLiteral("0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n(1 more record)");
        QStringList twelve = eleven;
        twelve.append(QStringLiteral("11"));
        QTest::newRow("and how many more")
            << twelve << QStringLiteral("0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n(2 more records)");
        const QString word(300, QLatin1Char('w'));
        QTest::newRow("a long word is cut at 200 and broken at 80")
            << QStringList{word, QStringLiteral("next")}
            << QString(80, QLatin1Char('w')) + QLatin1Char('\n') + QString(80, QLatin1Char('w')) +
                   QLatin1Char('\n') + QString(39, QLatin1Char('w')) + QChar(0x2026) +
                   QStringLiteral("\nnext");
        const QString words = QStringLiteral("see ") + QString(76, QLatin1Char('a')) +
                              QStringLiteral(" https://bl.test/");
        QTest::newRow("lines are broken at a blank")
            << QStringList{words}
            << QStringLiteral("see ") + QString(76, QLatin1Char('a')) +
                   QStringLiteral("\nhttps://bl.test/");
    }
    void tipText() {
        QFETCH(QStringList, texts);
        QFETCH(QString, tip);
        QCOMPARE(listingReasonTip(texts), tip);
    }

    void recordText_data() {
        QTest::addColumn<QByteArrayList>("strings");
        QTest::addColumn<QString>("text");
        QTest::newRow("one string") << QByteArrayList{"Listed"} << QStringLiteral("Listed");
        QTest::newRow("split text joined as is") << QByteArrayList{"Listed for sp", "am, see x"}
                                                 << QStringLiteral("Listed for spam, see x");
        QTest::newRow("UTF-8") << QByteArrayList{"Gel\xc3\xb6scht"}
                               << QString::fromUtf8("Gel\xc3\xb6scht");
        QTest::newRow("empty record") << QByteArrayList{} << QString();
    }
    void recordText() {
        QFETCH(QByteArrayList, strings);
        QFETCH(QString, text);
        QCOMPARE(txtRecordText(strings), text);
    }

  private:
    void lookUp() {
        m_form->controls().hostField->setText(kHost);
        m_form->lookItUp();
    }
    QString tip(int row) const {
        return m_form->controls().resultCells[static_cast<std::size_t>(row)]->toolTip();
    }
    QString result(int row) const { return toQString(m_form->table().result(row)); }

    std::unique_ptr<HookedResolver> m_resolver;
    std::unique_ptr<ScriptedTxt> m_txt;
    OpenedAddresses m_opened;
    std::unique_ptr<MainWindow> m_form;
    const MainWindow* m_formPointer = nullptr;
};

}  // namespace ostrivane

QTEST_MAIN(ostrivane::ListingReasonsTest)
#include "listing_reasons_test.moc"
