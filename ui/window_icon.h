#pragma once

#include <QIcon>

namespace ostrivane {

// The red X, in the sizes drawn for it (16, 32 and 48 pixels).
QIcon ostrivaneIcon();

}  // namespace ostrivane
