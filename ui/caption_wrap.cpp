#include "ui/caption_wrap.h"

#include <QFontMetrics>
#include <QStringList>

namespace ostrivane {

QString wrapAtBlanks(const QString& caption, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : caption.split(QLatin1Char(' '))) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (line.isEmpty() || metrics.horizontalAdvance(longer) <= width) {
            line = longer;
        } else {
            lines.append(line);
            line = word;
        }
    }
    lines.append(line);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace ostrivane
