// Looks a host up in the real window, as "Look it up!" does, with the
// resolvers the program gives it (the system's, and a second one of its own
// for the lists' test points), and prints what each row shows: the
// end-to-end tests compare the window with the other modes on real list
// servers. It runs inside netns_run.sh's namespace only, where the resolver
// reaches nothing but loopback (elsewhere it refuses, exit 77).
//
//   window_lookup_driver HOST ZONE...   rows 0, 1, ... get the zones in order,
//                                       each named after its zone
//
// Output: one line per row with a zone, ZONE<TAB>RESULT; exit 0 when the run
// completed.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "core/blacklist_table.h"
#include "core/resolver.h"
#include "core/test_points.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

int main(int argc, char** argv) {
    using namespace ostrivane;
    const char* inside = std::getenv("OSTRIVANE_NETNS");
    if (inside == nullptr || std::strcmp(inside, "1") != 0) {
        std::fputs("window_lookup_driver: run it through tests/e2e/netns_run.sh\n", stderr);
        return 77;
    }
    if (argc < 3 || argc - 2 > kRowCount) {
        std::fputs("usage: window_lookup_driver HOST ZONE...\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    SystemResolver resolver;
    MainWindow form(
        resolver, [](const std::string&) {}, {}, nullptr,
        TestPointAsker(std::make_shared<SystemResolver>()));
    // A list file of its own, which the window never needs to write.
    const QTemporaryDir dir;
    form.load(dir.filePath(QStringLiteral("sbllist.txt")).toStdString());
    BlacklistTable& table = form.table();
    clearTable(table);
    for (int row = 0; row + 2 < argc; ++row) {
        table.setName(row, argv[row + 2]);
        table.setZone(row, argv[row + 2]);
    }
    form.show();
    form.controls().hostField->setText(QString::fromUtf8(argv[1]));
    form.lookItUp();
    for (int row = 0; row + 2 < argc; ++row) {
        std::cout << table.zone(row) << '\t' << table.result(row) << '\n';
    }
    return form.controls().lookupButton->isEnabled() ? 0 : 1;
}
