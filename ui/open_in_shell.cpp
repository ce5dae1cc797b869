#include "ui/open_in_shell.h"

#include <QDesktopServices>
#include <QUrl>

#include "ui/qt_text.h"

namespace ostrivane {

void openInShell(const std::string& address) {
    // The addresses are already percent-encoded, so strict parsing keeps them as they are.
    static_cast<void>(QDesktopServices::openUrl(QUrl(toQString(address), QUrl::StrictMode)));
}

}  // namespace ostrivane
