#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "core/blacklist_table.h"
#include "core/information_page.h"
#include "persist/atomic_write.h"
#include "persist/list_file.h"
#include "ui/close_on_signals.h"
#include "ui/main_window.h"
#include "ui/maker_page.h"
#include "ui/qt_text.h"
#include "window_test_support.h"

namespace ostrivane {
namespace {

using testing::BoxAnswer;
using testing::HookedResolver;
using testing::OpenedAddresses;

constexpr std::array<std::uint8_t, 4> kListedAnswer{127, 0, 0, 2};
const QString kHost = QStringLiteral("mail.example.test");

// How one row looks: its result and the colours of each of its three cells.
struct RowLook {
    QString result;
    QColor background;
    QColor text;
    bool uniform = true;  // the three cells carry the same colours

    friend bool operator==(const RowLook&, const RowLook&) = default;
};

const QColor kWhiteColour(255, 255, 255);
const QColor kBlackColour(0, 0, 0);
const QColor kCyanColour(0, 255, 255);
const QColor kDarkRedColour(107, 0, 0);

// A moment of a run, seen from the event loop.
struct Moment {
    std::vector<RowLook> rows;
    QString host;
    bool lookupEnabled = true;
    bool busy = false;
};

std::filesystem::path toPath(const QString& path) {
    return path.toStdString();
}

// Failure messages show the row as the user would see it.
char* toString(const RowLook& look) {
    return qstrdup(qPrintable(QStringLiteral("\"%1\" on %2, text %3%4")
                                  .arg(look.result, look.background.name(), look.text.name(),
                                       look.uniform ? QString() : QStringLiteral(" (mixed)"))));
}

QString joined(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list.append(toQString(text));
    }
    return list.join(QStringLiteral(" | "));
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() {
        m_resolver = std::make_unique<HookedResolver>();
        m_opened.addresses.clear();
        m_form = std::make_unique<MainWindow>(*m_resolver, m_opened.opener());
        m_resolver->script.answer(kHost.toStdString(), kListedAnswer)
            .answer("2.0.0.127.bl.test", kListedAnswer)
            .answer("2.0.0.127.other.test", {127, 0, 0, 4});
        // Row 0 listed, row 1 not, row 2 has no zone, row 3 has no name.
        BlacklistTable& table = m_form->table();
        clearTable(table);
        table.setName(0, "Zero");
        table.setZone(0, "bl.test");
        table.setName(1, "One");
        table.setZone(1, "clean.test");
        table.setName(2, "Two");
        table.setZone(3, "other.test");
    }
    void cleanup() {
        m_form.reset();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // --- The lookup run on the window ---

    void lookItUpFillsTheRows() {
        m_form->controls().hostField->setText(kHost);
        QTest::mouseClick(m_form->controls().lookupButton, Qt::LeftButton);

        QCOMPARE(m_form->controls().hostField->text(),
                 QStringLiteral("mail.example.test (127.0.0.2)"));
        QCOMPARE(look(0),
                 (RowLook{QStringLiteral("Listed: 127.0.0.2"), kDarkRedColour, kWhiteColour}));
        QCOMPARE(look(1), (RowLook{QStringLiteral("Not Found"), kWhiteColour, kBlackColour}));
        QCOMPARE(look(2), (RowLook{QString(), kWhiteColour, kBlackColour}));
        QCOMPARE(look(3),
                 (RowLook{QStringLiteral("Listed: 127.0.0.4"), kDarkRedColour, kWhiteColour}));
        QCOMPARE(toQString(m_form->table().name(2)), QStringLiteral("Two"));
        QVERIFY(m_form->controls().lookupButton->isEnabled());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(joined(m_resolver->script.asked()),
                 QStringLiteral("mail.example.test | 2.0.0.127.bl.test | 2.0.0.127.clean.test | "
                                "2.0.0.127.other.test"));
    }

    // What the user sees at the yields: the cleared table, then each row
    // Querying on cyan, the same text on white, and the verdict before the next.
    void rowsDuringTheYields() {
        std::vector<Moment> moments;
        QTimer probe;
        probe.setInterval(0);
        connect(&probe, &QTimer::timeout, this, [&] {
            if (m_form->lookupInProgress()) {
                moments.push_back(moment());
            }
        });
        probe.start();
        m_form->controls().hostField->setText(kHost);
        m_form->lookItUp();
        probe.stop();

        const RowLook cleared{QString(), kWhiteColour, kBlackColour};
        const RowLook queryingCyan{QStringLiteral("Querying..."), kCyanColour, kBlackColour};
        const RowLook queryingWhite{QStringLiteral("Querying..."), kWhiteColour, kBlackColour};
        const RowLook listed{QStringLiteral("Listed: 127.0.0.2"), kDarkRedColour, kWhiteColour};
        const auto seen = [&moments](auto predicate) {
            return std::any_of(moments.begin(), moments.end(), predicate);
        };
        QVERIFY(!moments.empty());
        QVERIFY2(seen([&](const Moment& m) {
                     return m.busy && m.lookupEnabled && m.host == kHost &&
                            std::all_of(m.rows.begin(), m.rows.end(),
                                        [&](const RowLook& r) { return r == cleared; });
                 }),
                 "the cleared table before the host is resolved");
        QVERIFY2(seen([&](const Moment& m) {
                     return m.busy && !m.lookupEnabled && m.rows[0] == queryingCyan &&
                            m.host == QStringLiteral("mail.example.test (127.0.0.2)");
                 }),
                 "row 0 querying on cyan, the button disabled, the host rewritten");
        QVERIFY2(seen([&](const Moment& m) {
                     return m.rows[0] == queryingWhite && m.rows[1] == cleared;
                 }),
                 "row 0 still querying, on white");
        QVERIFY2(
            seen([&](const Moment& m) { return m.rows[0] == listed && m.rows[1] == queryingCyan; }),
            "row 0's verdict while row 1 is queried");
        QVERIFY2(!seen([&](const Moment& m) { return m.rows[2] != cleared; }),
                 "the row without a zone is never touched");
    }

    void hostThatDoesNotResolve() {
        m_form->controls().hostField->setText(QStringLiteral("nowhere.test"));
        bool enabledWhileShown = false;
        bool busyWhileShown = true;
        BoxAnswer answer(QStringLiteral("OK"), [&] {
            enabledWhileShown = m_form->controls().lookupButton->isEnabled();
            busyWhileShown = QApplication::overrideCursor() != nullptr;
        });
        m_form->lookItUp();

        QVERIFY(answer.seen.seen);
        QCOMPARE(answer.seen.text, QStringLiteral("Unable to resolve nowhere.test"));
        QCOMPARE(answer.seen.title, QStringLiteral("Couldn't Resolve Host"));
        QCOMPARE(answer.seen.icon, QMessageBox::NoIcon);
        QCOMPARE(answer.seen.buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(enabledWhileShown);
        QVERIFY(!busyWhileShown);
        QCOMPARE(m_form->controls().hostField->text(), QStringLiteral("nowhere.test"));
    }

    // --- Enter in the host field ---

    void enterLooksUpAndIsSwallowed_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
    void enterLooksUpAndIsSwallowed() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QLineEdit* host = m_form->controls().hostField;
        QTest::keyClicks(host, kHost);
        QSignalSpy returnPressed(host, &QLineEdit::returnPressed);
        KeyWatch watch;
        m_form->installEventFilter(&watch);

        QTest::keyClick(host, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

        QCOMPARE(host->text(), QStringLiteral("mail.example.test (127.0.0.2)"));
        QCOMPARE(look(0).result, QStringLiteral("Listed: 127.0.0.2"));
        QCOMPARE(returnPressed.count(), 0);
        QCOMPARE(watch.keysReachingTheWindow, 0);
    }

    void enterInAnEmptyFieldChangesNothing() {
        m_form->table().setResult(1, "Not Found");
        QTest::keyClick(m_form->controls().hostField, Qt::Key_Return);
        QVERIFY(m_resolver->script.asked().empty());
        QCOMPARE(look(1).result, QStringLiteral("Not Found"));
    }

    void enterDuringARunIsIgnored() {
        QLineEdit* host = m_form->controls().hostField;
        host->setText(kHost);
        int pressed = 0;
        QTimer probe;
        probe.setInterval(0);
        connect(&probe, &QTimer::timeout, this, [&] {
            if (m_form->lookupInProgress() && pressed < 2) {
                ++pressed;
                QTest::keyClick(host, Qt::Key_Return);
            }
        });
        probe.start();
        QTest::keyClick(host, Qt::Key_Return);
        probe.stop();

        QCOMPARE(pressed, 2);
        // One run: the host and three zones, each asked once.
        QCOMPARE(m_resolver->script.asked().size(), std::size_t{4});
        QCOMPARE(host->text(), QStringLiteral("mail.example.test (127.0.0.2)"));
    }

    void otherKeysReachTheField() {
        QLineEdit* host = m_form->controls().hostField;
        QTest::keyClicks(host, QStringLiteral("ab1"));
        QTest::keyClick(host, Qt::Key_Backspace);
        QCOMPARE(host->text(), QStringLiteral("ab"));
        QVERIFY(m_resolver->script.asked().empty());
    }

    // --- Reset ---

    void reset_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("resets");
        QTest::newRow("Yes") << QStringLiteral("Yes") << true;
        QTest::newRow("No") << QStringLiteral("No") << false;
    }
    void reset() {
        QFETCH(QString, answer);
        QFETCH(bool, resets);
        BlacklistTable& table = m_form->table();
        table.setName(17, "Mine");
        table.setZone(17, "mine.test");
        table.setResult(0, "Listed: 127.0.0.2");
        applyHighlight(table, 0, RowHighlight::Listed);

        BoxAnswer box(answer);
        QTest::mouseClick(m_form->controls().resetButton, Qt::LeftButton);

        QVERIFY(box.seen.seen);
        QCOMPARE(box.seen.title, QStringLiteral("Reset Blacklists?"));
        QCOMPARE(box.seen.text, QStringLiteral("This will reset any custom blacklists you've "
                                               "defined.  Do you want to continue?"));
        QCOMPARE(box.seen.icon, QMessageBox::NoIcon);
        QCOMPARE(box.seen.buttons.size(), 2);
        QVERIFY(box.seen.buttons.contains(QStringLiteral("Yes")));
        QVERIFY(box.seen.buttons.contains(QStringLiteral("No")));
        QCOMPARE(box.seen.defaultButton, QStringLiteral("Yes"));

        if (resets) {
            for (int row = 0; row < kRowCount; ++row) {
                const DefaultBlacklist& expected =
                    kDefaultBlacklists[static_cast<std::size_t>(row)];
                QCOMPARE(toQString(table.name(row)), toQString(expected.name));
                QCOMPARE(toQString(table.zone(row)), toQString(expected.zone));
            }
        } else {
            QCOMPARE(toQString(table.name(0)), QStringLiteral("Zero"));
            QCOMPARE(toQString(table.zone(17)), QStringLiteral("mine.test"));
        }
        // Results and colours stay beside the new names until the next lookup.
        QCOMPARE(look(0),
                 (RowLook{QStringLiteral("Listed: 127.0.0.2"), kDarkRedColour, kWhiteColour}));
    }

    // --- Information pages ---

    void informationPageOfEachDefaultRow_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("expected");
        const char* pages[] = {"https://cbl.abuseat.org/",
                               "https://www.spamhaus.org/sbl/",
                               "https://www.spamhaus.org/sbl/",
                               "https://www.spamhaus.org/pbl/",
                               "https://www.spamcop.net/bl.shtml",
                               "http://dsbl.org/",
                               "http://www.sorbs.net/",
                               "http://www.njabl.org/",
                               "http://www.njabl.org/dynablock.html",
                               "https://www.google.com/search?q=CASA-CBL",
                               "http://www.spews.org/",
                               "http://www.spews.org/",
                               "https://www.uceprotect.net/en/index.php",
                               "https://www.uceprotect.net/en/index.php",
                               "https://www.uceprotect.net/en/index.php",
                               "https://psbl.org/"};
        for (int row = 0; row < 16; ++row) {
            QTest::newRow(kDefaultBlacklists[static_cast<std::size_t>(row)].name.data())
                << row << QString::fromLatin1(pages[row]);
        }
    }
    void informationPageOfEachDefaultRow() {
        QFETCH(int, row);
        QFETCH(QString, expected);
        loadDefaultBlacklists(m_form->table());
        QTest::mouseClick(m_form->controls().infoButtons[static_cast<std::size_t>(row)],
                          Qt::LeftButton);
        QCOMPARE(m_opened.addresses.size(), std::size_t{1});
        QCOMPARE(toQString(m_opened.addresses.front()), expected);
    }

    void informationPageOfTrickyNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        const QString search = toQString(kSearchPrefix);
        const auto page = [](const char* name) { return toQString(informationPageFor(name)); };
        QTest::newRow("lower-case cbl") << QStringLiteral("cbl") << search + QStringLiteral("cbl");
        QTest::newRow("CASA-CBL") << QStringLiteral("CASA-CBL")
                                  << search + QStringLiteral("CASA-CBL");
        QTest::newRow("CBL inside a name") << QStringLiteral("My CBL mirror") << page("CBL");
        QTest::newRow("SpamCop SORBS") << QStringLiteral("SpamCop SORBS") << page("SORBS");
        QTest::newRow("SORBS SpamCop") << QStringLiteral("SORBS SpamCop") << page("SORBS");
        QTest::newRow("CASA-CBL and PSBL") << QStringLiteral("CASA-CBL PSBL") << page("PSBL");
        QTest::newRow("blanks") << QStringLiteral("   ") << search + QStringLiteral("%20%20%20");
        QTest::newRow("AT&T") << QStringLiteral("AT&T") << search + QStringLiteral("AT%26T");
        QTest::newRow("words") << QStringLiteral("My List #2")
                               << search + QStringLiteral("My%20List%20%232");
    }
    void informationPageOfTrickyNames() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        m_form->controls().nameCells[5]->setText(name);
        QTest::mouseClick(m_form->controls().infoButtons[5], Qt::LeftButton);
        QCOMPARE(m_opened.addresses.size(), std::size_t{1});
        QCOMPARE(toQString(m_opened.addresses.front()), expected);
        // The opener gets it as the browser should: a valid address, unchanged by parsing.
        const QUrl url(expected, QUrl::StrictMode);
        QVERIFY(url.isValid());
        QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
    }

    void emptyNameOpensNothing() {
        m_form->table().setZone(16, "zone.test");
        QTest::mouseClick(m_form->controls().infoButtons[16], Qt::LeftButton);
        QTest::mouseClick(m_form->controls().infoButtons[19], Qt::LeftButton);
        QVERIFY(m_opened.addresses.empty());
    }

    // --- The link ---

    void releaseOfAnyButtonOnTheLinkOpensTheMakerPage_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("left") << int(Qt::LeftButton);
        QTest::newRow("right") << int(Qt::RightButton);
        QTest::newRow("middle") << int(Qt::MiddleButton);
    }
    void releaseOfAnyButtonOnTheLinkOpensTheMakerPage() {
        QFETCH(int, button);
        QLabel* link = m_form->controls().makerLink;
        QTest::mousePress(link, Qt::MouseButton(button));
        QVERIFY(m_opened.addresses.empty());
        QTest::mouseRelease(link, Qt::MouseButton(button));
        QCOMPARE(joined(m_opened.addresses), toQString(kMakerPageAddress));
    }

    // After the run the lists' test points are asked at once; the window
    // handles its events while it waits (here a timer lets a stuck test point
    // go), and the rows of broken lists become list errors.
    void brokenListsAfterTheRun() {
        auto points = std::make_shared<testing::ScriptedResolver>();
        points->workingList("bl.test")
            .answer("1.0.0.127.bl.test", kListedAnswer)
            .workingList("other.test")
            .stall("2.0.0.127.clean.test");
        m_form = std::make_unique<MainWindow>(*m_resolver, m_opened.opener(), TxtFetcher{}, nullptr,
                                              TestPointAsker(points));
        BlacklistTable& table = m_form->table();
        table.setZone(0, "bl.test");
        table.setZone(1, "clean.test");
        table.setZone(3, "other.test");
        std::vector<Moment> whileWaiting;
        QTimer release;
        release.setInterval(50);
        connect(&release, &QTimer::timeout, this, [&] {
            whileWaiting.push_back(moment());
            points->release();
        });
        m_resolver->beforeAnswer = [&](std::string_view name) {
            if (name == "2.0.0.127.other.test") {
                release.start();
            }
        };
        m_form->controls().hostField->setText(kHost);
        m_form->lookItUp();

        QVERIFY2(!whileWaiting.empty(), "no event was handled during the wait");
        QVERIFY(whileWaiting.front().busy && !whileWaiting.front().lookupEnabled);
        QCOMPARE(look(0), (RowLook{QStringLiteral("List error: lists everything"), kWhiteColour,
                                   kBlackColour}));
        QCOMPARE(look(1), (RowLook{QStringLiteral("List error: not a working list"), kWhiteColour,
                                   kBlackColour}));
        QCOMPARE(look(3),
                 (RowLook{QStringLiteral("Listed: 127.0.0.4"), kDarkRedColour, kWhiteColour}));
        QVERIFY(m_form->controls().lookupButton->isEnabled());
    }

    // --- Load and close ---

    void closeDuringARunStopsItWhereItIs() {
        QTemporaryDir dir;
        const std::filesystem::path listFile = toPath(dir.filePath(QStringLiteral("sbllist.txt")));
        m_form->load(listFile);
        m_form->table().setName(0, "Zero");
        m_form->table().setZone(0, "bl.test");
        m_form->table().setZone(1, "clean.test");
        m_form->table().setZone(3, "other.test");
        for (int row = 4; row < kRowCount; ++row) {
            m_form->table().setZone(row, "");
        }
        m_form->show();
        m_resolver->beforeAnswer = [this](std::string_view name) {
            if (name == "2.0.0.127.clean.test") {
                QTimer::singleShot(0, m_form.get(), [this] { m_form->close(); });
            }
        };
        m_form->controls().hostField->setText(kHost);
        m_form->lookItUp();

        QVERIFY(!m_form->isVisible());
        QVERIFY(!m_form->lookupInProgress());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(joined(m_resolver->script.asked()),
                 QStringLiteral("mail.example.test | 2.0.0.127.bl.test | 2.0.0.127.clean.test"));
        // Row 1 as the close found it; row 3 never reached.
        QCOMPARE(look(1), (RowLook{QStringLiteral("Querying..."), kWhiteColour, kBlackColour}));
        QCOMPARE(look(3), (RowLook{QString(), kWhiteColour, kBlackColour}));
        // The list was saved at close.
        std::ifstream saved(listFile);
        std::stringstream content;
        content << saved.rdbuf();
        QVERIFY2(content.str().find("bl.test") != std::string::npos, content.str().c_str());
    }

    void saveFailureAtCloseLetsTheUserChoose() {
        QTemporaryDir dir;
        const QString listFile = dir.filePath(QStringLiteral("sbllist.txt"));
        m_form->load(toPath(listFile));
        // A folder where the save stages the new list: no save can succeed.
        QVERIFY(std::filesystem::create_directory(temporaryPathFor(toPath(listFile))));
        m_form->show();

        {
            BoxAnswer stay(QStringLiteral("Stay"));
            QVERIFY(!m_form->close());
            QVERIFY(stay.seen.seen);
            QVERIFY(m_form->isVisible());
            QCOMPARE(stay.seen.title, QStringLiteral("Couldn't Save Blacklists"));
            QVERIFY2(stay.seen.text.contains(listFile + QStringLiteral(": ")),
                     qPrintable(stay.seen.text));
            QCOMPARE(stay.seen.defaultButton, QStringLiteral("Stay"));
        }
        {
            BoxAnswer leave(QStringLiteral("Close Without Saving"));
            QVERIFY(m_form->close());
            QVERIFY(leave.seen.seen);
            QVERIFY(!m_form->isVisible());
        }
        QVERIFY(!QFileInfo::exists(listFile));
    }

    void unreadableListFileIsReportedOnceAndKept() {
        QTemporaryDir dir;
        // A file where the list's folder should be: the list cannot be read.
        const QString notAFolder = dir.filePath(QStringLiteral("plain-file"));
        {
            QFile file(notAFolder);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep me\n");
        }
        const QString listFile = notAFolder + QStringLiteral("/sbllist.txt");
        m_form->load(toPath(listFile));
        QCOMPARE(toQString(m_form->table().name(0)), toQString(kDefaultBlacklists[0].name));

        {
            BoxAnswer ok(QStringLiteral("OK"));
            m_form->show();
            QTRY_VERIFY(ok.seen.seen);
            QVERIFY2(ok.seen.text.contains(listFile), qPrintable(ok.seen.text));
            QVERIFY2(ok.seen.text.contains(QStringLiteral("default blacklists are shown")),
                     qPrintable(ok.seen.text));
        }
        {
            BoxAnswer none(QStringLiteral("Close Without Saving"));
            m_form->hide();
            m_form->show();
            QTest::qWait(50);
            QVERIFY2(!none.seen.seen, "told only once");
            QVERIFY(m_form->close());
            QVERIFY2(!none.seen.seen, "the file is left as it is: nothing to save, nothing to ask");
        }
        QFile kept(notAFolder);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep me\n"));
    }

    // --- The list file's bytes through a window session ---

    // Load a list file, maybe edit the table, maybe change the file behind the
    // window's back, close (by the user or by a signal), answer what the window
    // asks; then compare the bytes on disk.
    void listFileBytesThroughASession_data() {
        QTest::addColumn<QString>("atStart");  // "file", "missing" or "folder"
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("typed");         // into row 1's name; empty: no edit
        QTest::addColumn<QByteArray>("meanwhile");  // written before closing; empty: none
        QTest::addColumn<QString>("closeBy");       // "user", "SIGTERM", "SIGHUP", "user+SIGTERM"
        QTest::addColumn<QString>("answer");        // the button pressed; empty: nothing asked
        QTest::addColumn<QString>("asked");         // the box's title
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QByteArray>("after");  // empty with "folder": unchanged

        const QByteArray utf8Lf("Liste f\xC3\xBCr Spam\n\"bl.test\"\n\"open\nx\n");
        const QByteArray latin1("Liste f\xFCr Spam\r\nbl.test\r\n");
        const QByteArray hand("Hand\r\nhand.test\r\n");
        const auto edited = [](const QByteArray& first, const QByteArray& name) {
            QByteArray bytes = first + name + "\r\n";
            for (int line = 3; line < kListFieldCount; ++line) {
                bytes += "\r\n";
            }
            return bytes;
        };
        const QByteArray latin1Mine = edited("Liste f\xFCr Spam\r\nbl.test\r\n", "M\xEEne");
        const QByteArray latin1AsUtf8 =
            edited("Liste f\xC3\xBCr Spam\r\nbl.test\r\n", "\xD0\xA1\xD0\xBF\xD0\xB0\xD0\xBC");
        const QByteArray hugeFile(static_cast<int>(kListFileLimit) + 1, 'x');
        const QString changed = QStringLiteral("Blacklists Changed on Disk");
        const QString unsaved = QStringLiteral("Couldn't Save Blacklists");
        const QString none;

        QTest::newRow("UTF-8 with LF, unedited: not rewritten")
            << QStringLiteral("file") << utf8Lf << none << QByteArray() << QStringLiteral("user")
            << none << none << true << utf8Lf;
        QTest::newRow("Windows-1252, unedited: not rewritten")
            << QStringLiteral("file") << latin1 << none << QByteArray() << QStringLiteral("user")
            << none << none << true << latin1;
        QTest::newRow("Windows-1252, edited: saved in Windows-1252")
            << QStringLiteral("file") << latin1 << QStringLiteral("M\u00EEne") << QByteArray()
            << QStringLiteral("user") << none << none << true << latin1Mine;
        QTest::newRow("Windows-1252, a character it lacks: saved in UTF-8")
            << QStringLiteral("file") << latin1 << QStringLiteral("\u0421\u043F\u0430\u043C")
            << QByteArray() << QStringLiteral("user") << none << none << true << latin1AsUtf8;
        QTest::newRow("missing: the defaults are written")
            << QStringLiteral("missing") << QByteArray() << none << QByteArray()
            << QStringLiteral("user") << none << none << true << defaultListFile();
        QTest::newRow("hand edit while open, nothing edited: kept")
            << QStringLiteral("file") << latin1 << none << hand << QStringLiteral("user") << none
            << none << true << hand;
        QTest::newRow("both edited, Save")
            << QStringLiteral("file") << latin1 << QStringLiteral("M\u00EEne") << hand
            << QStringLiteral("user") << QStringLiteral("Save") << changed << true << latin1Mine;
        QTest::newRow("both edited, Keep the File's Version")
            << QStringLiteral("file") << latin1 << QStringLiteral("M\u00EEne") << hand
            << QStringLiteral("user") << QStringLiteral("Keep the File's Version") << changed
            << true << hand;
        QTest::newRow("both edited, Stay")
            << QStringLiteral("file") << latin1 << QStringLiteral("M\u00EEne") << hand
            << QStringLiteral("user") << QStringLiteral("Stay") << changed << false << hand;
        QTest::newRow("too large, edited: Close Without Saving")
            << QStringLiteral("file") << hugeFile << QStringLiteral("Mine") << QByteArray()
            << QStringLiteral("user") << QStringLiteral("Close Without Saving") << unsaved << true
            << hugeFile;
        QTest::newRow("too large, edited: Stay")
            << QStringLiteral("file") << hugeFile << QStringLiteral("Mine") << QByteArray()
            << QStringLiteral("user") << QStringLiteral("Stay") << unsaved << false << hugeFile;
        QTest::newRow("folder, edited: Close Without Saving")
            << QStringLiteral("folder") << QByteArray() << QStringLiteral("Mine") << QByteArray()
            << QStringLiteral("user") << QStringLiteral("Close Without Saving") << unsaved << true
            << QByteArray();
        QTest::newRow("SIGTERM, edited: saved")
            << QStringLiteral("file") << latin1 << QStringLiteral("M\u00EEne") << QByteArray()
            << QStringLiteral("SIGTERM") << none << none << true << latin1Mine;
        QTest::newRow("SIGHUP, missing: the defaults are written")
            << QStringLiteral("missing") << QByteArray() << none << QByteArray()
            << QStringLiteral("SIGHUP") << none << none << true << defaultListFile();
        QTest::newRow("SIGTERM, both edited: the window's list is saved, nothing asked")
            << QStringLiteral("file") << latin1 << QStringLiteral("M\u00EEne") << hand
            << QStringLiteral("SIGTERM") << none << none << true << latin1Mine;
        QTest::newRow("SIGTERM while asked: the box goes, the window's list is saved")
            << QStringLiteral("file") << latin1 << QStringLiteral("M\u00EEne") << hand
            << QStringLiteral("user+SIGTERM") << none << changed << true << latin1Mine;
        QTest::newRow("SIGTERM, edited after a load problem: closes, file kept")
            << QStringLiteral("file") << hugeFile << QStringLiteral("Mine") << QByteArray()
            << QStringLiteral("SIGTERM") << none << none << true << hugeFile;
    }
    void listFileBytesThroughASession() {
        QFETCH(QString, atStart);
        QFETCH(QByteArray, before);
        QFETCH(QString, typed);
        QFETCH(QByteArray, meanwhile);
        QFETCH(QString, closeBy);
        QFETCH(QString, answer);
        QFETCH(QString, asked);
        QFETCH(bool, closes);
        QFETCH(QByteArray, after);

        QTemporaryDir dir;
        const QString listFile = dir.filePath(QStringLiteral("sbllist.txt"));
        if (atStart == QStringLiteral("file")) {
            writeFile(listFile, before);
        } else if (atStart == QStringLiteral("folder")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sbllist.txt")));
        }
        // The table as the user would see it after the window's load.
        m_form = std::make_unique<MainWindow>(*m_resolver, m_opened.opener());
        CloseOnSignals closeOnSignals([this](int) { m_form->closeWithoutAsking(); });
        m_form->load(toPath(listFile));
        {
            BoxAnswer loadProblem(QStringLiteral("OK"));
            m_form->show();
            QTest::qWait(20);
        }
        if (!typed.isEmpty()) {
            m_form->controls().nameCells[1]->setText(typed);
        }
        if (!meanwhile.isEmpty()) {
            writeFile(listFile, meanwhile);
        }

        const bool signalWhileAsked = closeBy == QStringLiteral("user+SIGTERM");
        BoxAnswer box(signalWhileAsked ? QString() : answer, [&] {
            if (signalWhileAsked) {
                std::raise(SIGTERM);
                QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
            }
        });
        if (closeBy.startsWith(QStringLiteral("user"))) {
            QCOMPARE(m_form->close(), closes);
        } else {
            std::raise(closeBy == QStringLiteral("SIGHUP") ? SIGHUP : SIGTERM);
        }
        QTRY_COMPARE(m_form->isVisible(), !closes);
        QCOMPARE(box.seen.seen, !asked.isEmpty());
        QCOMPARE(box.seen.title, asked);
        if (atStart == QStringLiteral("folder")) {
            QVERIFY(QFileInfo(listFile).isDir());
        } else {
            QCOMPARE(readFile(listFile), after);
        }
    }

    // The host a run reads stays in the field until the run is over.
    void hostFieldIsReadOnlyDuringARun() {
        QLineEdit* host = m_form->controls().hostField;
        host->setText(kHost);
        std::vector<bool> readOnly;
        QTimer probe;
        probe.setInterval(0);
        connect(&probe, &QTimer::timeout, this, [&] {
            if (m_form->lookupInProgress()) {
                readOnly.push_back(host->isReadOnly());
                QTest::keyClicks(host, QStringLiteral("x"));
            }
        });
        probe.start();
        m_form->lookItUp();
        probe.stop();

        QVERIFY(!readOnly.empty());
        QVERIFY(std::all_of(readOnly.begin(), readOnly.end(), [](bool b) { return b; }));
        QVERIFY(!host->isReadOnly());
        QCOMPARE(host->text(), QStringLiteral("mail.example.test (127.0.0.2)"));
    }

  private:
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    static QByteArray readFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }
    static QByteArray defaultListFile() {
        return readFile(QStringLiteral(OSTRIVANE_TEST_DATA_DIR "/default_sbllist.txt"));
    }

    // Counts key presses of Enter that get past the host field to the window.
    class KeyWatch : public QObject {
      public:
        int keysReachingTheWindow = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::KeyPress) {
                ++keysReachingTheWindow;
            }
            return false;
        }
    };

    RowLook look(int row) const {
        const MainWindowControls& c = m_form->controls();
        const auto index = static_cast<std::size_t>(row);
        RowLook result{c.resultCells[index]->text(),
                       c.nameCells[index]->palette().color(QPalette::Base),
                       c.nameCells[index]->palette().color(QPalette::Text)};
        for (QLineEdit* cell : {c.zoneCells[index], c.resultCells[index]}) {
            result.uniform = result.uniform &&
                             cell->palette().color(QPalette::Base) == result.background &&
                             cell->palette().color(QPalette::Text) == result.text;
        }
        return result;
    }

    Moment moment() const {
        Moment m;
        for (int row = 0; row < 4; ++row) {
            m.rows.push_back(look(row));
        }
        m.host = m_form->controls().hostField->text();
        m.lookupEnabled = m_form->controls().lookupButton->isEnabled();
        m.busy = QApplication::overrideCursor() != nullptr &&
                 QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        return m;
    }

    std::unique_ptr<HookedResolver> m_resolver;
    OpenedAddresses m_opened;
    std::unique_ptr<MainWindow> m_form;
};

}  // namespace ostrivane

QTEST_MAIN(ostrivane::CommandsTest)
#include "commands_test.moc"
