#pragma once

#include <array>

#include "core/blacklist_table.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ostrivane {

// The window's controls. Each is created from a row of the layout table
// (ui/main_window_layout.h), whose object name it carries.
struct MainWindowControls {
    QLabel* hostPrompt = nullptr;
    QLineEdit* hostField = nullptr;
    QPushButton* lookupButton = nullptr;
    QLabel* nameHeading = nullptr;
    QLabel* zoneHeading = nullptr;
    QLabel* resultHeading = nullptr;
    QPushButton* resetButton = nullptr;
    QLabel* monitoringNote = nullptr;
    QLabel* makerLink = nullptr;
    // The table, a row of cells and an information button for each blacklist.
    std::array<QLineEdit*, kRowCount> nameCells{};
    std::array<QLineEdit*, kRowCount> zoneCells{};
    std::array<QLineEdit*, kRowCount> resultCells{};
    std::array<QPushButton*, kRowCount> infoButtons{};
};

// The window's font: 8.25 points of the nearest sans-serif face, since the face
// the window was drawn with is rarely installed.
void applyMainWindowFont(QWidget& form);

// Creates every control of the layout on the form, with its place, text, tool
// tip, pointer and tab stop, and the form's size and title. Call it after the
// form's font is set: the captions are wrapped to fit in that font.
MainWindowControls createMainWindowControls(QWidget& form);

}  // namespace ostrivane
