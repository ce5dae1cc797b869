#pragma once

#include <array>

#include "core/blacklist_table.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ostrivane {

// The window's controls under the names the rest of the system knows them by.
struct Form1Controls {
    QLabel* Label5 = nullptr;
    QLineEdit* Text55 = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Reset = nullptr;
    QLabel* Label6a = nullptr;
    QLabel* Label4a = nullptr;
    std::array<QLineEdit*, kRowCount> Text1{};
    std::array<QLineEdit*, kRowCount> Text2{};
    std::array<QLineEdit*, kRowCount> Text3{};
    std::array<QPushButton*, kRowCount> Command2{};
};

// The window's font: 8.25 points of the nearest sans-serif face, since the face
// the window was drawn with is rarely installed.
void applyForm1Font(QWidget& form);

// Creates every control of the layout on the form, with its place, text, tool
// tip, pointer and tab stop, and the form's size and title. Call it after the
// form's font is set: the captions are wrapped to fit in that font.
Form1Controls createForm1Controls(QWidget& form);

}  // namespace ostrivane
