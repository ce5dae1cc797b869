#pragma once

#include <QString>

class QFontMetrics;

namespace ostrivane {

// Breaks a caption at blanks so that each line fits the width, as a button's
// caption that does not fit on one line wraps onto the next. A word wider than
// the width stands on a line of its own.
QString wrapAtBlanks(const QString& caption, const QFontMetrics& metrics, int width);

}  // namespace ostrivane
