#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace ostrivane {

// The engine holds its texts as UTF-8 bytes; the widgets hold QStrings.
inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace ostrivane
