#include "ui/main_window.h"

#include <QApplication>

#include "persist/startup.h"
#include "ui/window_icon.h"

namespace ostrivane {

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrivane"));
    QApplication::setWindowIcon(ostrivaneIcon());

    SystemResolver resolver;
    Form1 form(resolver, openInShell, fetchTxtRecords);
    form.load(listFilePath());
    form.show();
    return QApplication::exec();
}

}  // namespace ostrivane
