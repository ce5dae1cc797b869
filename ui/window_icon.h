#pragma once

#include <QIcon>

namespace ostrivane {

// The red X, in the sizes drawn for it (16, 32, 48, 64, 128 and 256 pixels):
// the large ones for task switchers and high-density screens.
QIcon ostrivaneIcon();

}  // namespace ostrivane
