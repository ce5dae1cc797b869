#include "ui/window_session.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include <QApplication>

#include "catalog/catalog_file.h"
#include "persist/startup.h"
#include "ui/close_on_signals.h"
#include "ui/window_icon.h"

namespace ostrivane {

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrivane"));
    QApplication::setWindowIcon(ostrivaneIcon());

    SystemResolver resolver;
    // The catalog explains the answers in the result cells' tool tips; a
    // catalog that cannot be read only takes the explanations away.
    auto loaded = loadInstalledCatalog();
    if (const auto* problem = std::get_if<CatalogProblem>(&loaded)) {
        std::cerr << "ostrivane: answers are shown unexplained: " << problem->message() << '\n';
    }
    const Catalog* catalog = std::get_if<Catalog>(&loaded);
    // The test points have a resolver of their own: one still out when the
    // window closes is left behind, and the program ends without it.
    MainWindow form(resolver, openInShell, fetchTxtRecords, catalog,
                    TestPointAsker(std::make_shared<SystemResolver>()));
    // The last window closing ends the event loop.
    CloseOnSignals closeOnSignals([&form](int) { form.closeWithoutAsking(); });
    form.load(listFilePath());
    form.show();
    return endWindowSession(form, QApplication::exec());
}

int endWindowSession(const MainWindow& form, int status) {
    if (const auto& problem = form.unsavedAtClose()) {
        std::cerr << "ostrivane: the list of blacklists was not saved: " << problem->message()
                  << '\n';
        status = 1;
    }
    // Qt's DNS client waits at exit for every question its threads still ask,
    // for as long as the resolver takes to give up on each: the list is saved,
    // so end now.
    if (txtQuestionsInFlight() > 0) {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

}  // namespace ostrivane
