// The window's TXT questions against the test DNS server (tests/e2e/
// dns_server.py): the real resolver for the run, Qt's DNS client for the
// reasons. Run it through tests/e2e/netns_run.sh only, whose namespace has no
// name server but the test server on loopback.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "core/blacklist_table.h"
#include "core/resolver.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/txt_records.h"
#include "ui/window_session.h"

namespace ostrivane {

// The child of closeWithUnansweredQuestionsEndsAtOnce: a window whose twenty
// rows are listed without a reason, closed as soon as the questions are out,
// then ended as the program ends its window.
int closeWithQuestionsOut() {
    SystemResolver resolver;
    MainWindow form(
        resolver, [](const std::string&) {}, fetchTxtRecords);
    QTemporaryDir dir;
    form.load(dir.filePath(QStringLiteral("sbllist.txt")).toStdString());
    for (int row = 0; row < kRowCount; ++row) {
        form.table().setName(row, "Mute list");
        form.table().setZone(row, "mutetxt.test");
    }
    form.show();
    form.controls().hostField->setText(QStringLiteral("127.0.0.2"));
    form.lookItUp();
    const int out = txtQuestionsInFlight();
    form.close();
    std::printf("closed with %d questions out\n", out);
    std::fflush(stdout);
    return endWindowSession(form, 0);
}

class ListingReasonsE2eTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void listedRowsShowTheListsTxtRecord() {
        SystemResolver resolver;
        MainWindow form(
            resolver, [](const std::string&) {}, fetchTxtRecords);
        BlacklistTable& table = form.table();
        clearTable(table);
        table.setName(0, "Test list");
        table.setZone(0, "bl.test");
        table.setName(1, "Empty list");
        table.setZone(1, "empty.test");
        table.setName(2, "Second list");
        table.setZone(2, "bl2.test");

        form.controls().hostField->setText(QStringLiteral("127.0.0.2"));
        form.lookItUp();
        QCOMPARE(toQString(table.result(0)), QStringLiteral("Listed: 127.0.0.2"));
        QCOMPARE(toQString(table.result(1)), QStringLiteral("Not Found"));
        QCOMPARE(toQString(table.result(2)), QStringLiteral("Listed: 127.0.0.2"));

        // Bounds against hanging only: the answers come at once.
        QTRY_COMPARE_WITH_TIMEOUT(
            tip(form, 0),
            QStringLiteral("Listed for testing, see https://bl.test/lookup?ip=127.0.0.2"), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(
            tip(form, 2),
            QStringLiteral("Listed for testing, see https://bl2.test/lookup?ip=127.0.0.2"), 30000);
        QCOMPARE(tip(form, 1), QString());
    }

    // Twenty listed rows whose TXT questions are never answered: the window
    // closes, and the process ends instead of waiting for the resolver to
    // give up on each question in turn, five at a time: with the resolver
    // options this test runs with (timeout:30 attempts:5, see CMakeLists.txt)
    // that would take ten minutes, far beyond the bound below, which only
    // keeps a faulty run from hanging. A child process plays the window.
    void closeWithUnansweredQuestionsEndsAtOnce() {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("OSTRIVANE_E2E_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QString said;
        while (!said.contains(QStringLiteral("closed")) && child.waitForReadyRead(15000)) {
            said += QString::fromUtf8(child.readAllStandardOutput());
        }
        QVERIFY2(said.contains(QStringLiteral("closed with 20 questions out")), qPrintable(said));
        QVERIFY2(child.waitForFinished(60000), "the process waited for the resolver");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
    }

  private:
    static QString tip(const MainWindow& form, int row) {
        return form.controls().resultCells[static_cast<std::size_t>(row)]->toolTip();
    }
};

}  // namespace ostrivane

int main(int argc, char** argv) {
    // Outside the namespace the questions would reach the machine's real name
    // servers: refuse, as a skipped test.
    const char* inside = std::getenv("OSTRIVANE_NETNS");
    if (inside == nullptr || std::strcmp(inside, "1") != 0) {
        std::fputs("run this test through tests/e2e/netns_run.sh: skipping\n", stderr);
        return 77;
    }
    QApplication app(argc, argv);
    if (std::getenv("OSTRIVANE_E2E_CHILD") != nullptr) {
        return ostrivane::closeWithQuestionsOut();
    }
    ostrivane::ListingReasonsE2eTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "listing_reasons_e2e_test.moc"
