// The window's TXT questions against the test DNS server (tests/e2e/
// dns_server.py): the real resolver for the run, Qt's DNS client for the
// reasons. Run it through tests/e2e/netns_run.sh only, whose namespace has no
// name server but the test server on loopback.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "core/blacklist_table.h"
#include "core/resolver.h"
#include "ui/form1.h"
#include "ui/qt_text.h"
#include "ui/txt_records.h"

namespace ostrivane {

class ListingReasonsE2eTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void listedRowsShowTheListsTxtRecord() {
        SystemResolver resolver;
        Form1 form(
            resolver, [](const std::string&) {}, fetchTxtRecords);
        BlacklistTable& table = form.table();
        clearTable(table);
        table.setName(0, "Test list");
        table.setZone(0, "bl.test");
        table.setName(1, "Empty list");
        table.setZone(1, "empty.test");
        table.setName(2, "Second list");
        table.setZone(2, "bl2.test");

        form.controls().Text55->setText(QStringLiteral("127.0.0.2"));
        form.lookItUp();
        QCOMPARE(toQString(table.result(0)), QStringLiteral("Listed: 127.0.0.2"));
        QCOMPARE(toQString(table.result(1)), QStringLiteral("Not Found"));
        QCOMPARE(toQString(table.result(2)), QStringLiteral("Listed: 127.0.0.2"));

        // The harness's resolver gives up after 2 s (timeout 1, 2 attempts).
        QTRY_COMPARE_WITH_TIMEOUT(
            tip(form, 0),
            QStringLiteral("Listed for testing, see https://bl.test/lookup?ip=127.0.0.2"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(
            tip(form, 2),
            QStringLiteral("Listed for testing, see https://bl2.test/lookup?ip=127.0.0.2"), 5000);
        QCOMPARE(tip(form, 1), QString());
    }

  private:
    static QString tip(const Form1& form, int row) {
        return form.controls().Text3[static_cast<std::size_t>(row)]->toolTip();
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
    ostrivane::ListingReasonsE2eTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "listing_reasons_e2e_test.moc"
