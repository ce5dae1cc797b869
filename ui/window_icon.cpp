#include "ui/window_icon.h"

#include <QString>

namespace ostrivane {

QIcon ostrivaneIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/ostrivane-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace ostrivane
