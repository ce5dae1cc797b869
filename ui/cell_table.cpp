#include "ui/cell_table.h"

#include <QColor>
#include <QLineEdit>
#include <QPalette>

#include "ui/qt_text.h"

namespace ostrivane {

namespace {

QColor toQColor(Rgb colour) {
    return {colour.red, colour.green, colour.blue};
}

Rgb toRgb(const QColor& colour) {
    return {static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
            static_cast<std::uint8_t>(colour.blue())};
}

// The cell's own palette, so that every state of the window (active, inactive)
// shows the row's colours.
void setCellColour(QLineEdit* cell, QPalette::ColorRole role, Rgb colour) {
    QPalette palette = cell->palette();
    palette.setColor(role, toQColor(colour));
    cell->setPalette(palette);
}

QLineEdit* cellAt(const std::array<QLineEdit*, kRowCount>& column, int row) {
    return column.at(static_cast<std::size_t>(row));
}

}  // namespace

QLineEdit* CellTable::nameCell(int row) const {
    return cellAt(m_controls.nameCells, row);
}
QLineEdit* CellTable::zoneCell(int row) const {
    return cellAt(m_controls.zoneCells, row);
}
QLineEdit* CellTable::resultCell(int row) const {
    return cellAt(m_controls.resultCells, row);
}

std::string CellTable::name(int row) const {
    return toStdString(nameCell(row)->text());
}
std::string CellTable::zone(int row) const {
    return toStdString(zoneCell(row)->text());
}
std::string CellTable::result(int row) const {
    return toStdString(resultCell(row)->text());
}

void CellTable::setName(int row, std::string_view text) {
    nameCell(row)->setText(toQString(text));
}
void CellTable::setZone(int row, std::string_view text) {
    zoneCell(row)->setText(toQString(text));
}
void CellTable::setResult(int row, std::string_view text) {
    resultCell(row)->setText(toQString(text));
}

void CellTable::setBackground(int row, Rgb colour) {
    for (QLineEdit* cell : {nameCell(row), zoneCell(row), resultCell(row)}) {
        setCellColour(cell, QPalette::Base, colour);
    }
}

void CellTable::setTextColour(int row, Rgb colour) {
    for (QLineEdit* cell : {nameCell(row), zoneCell(row), resultCell(row)}) {
        setCellColour(cell, QPalette::Text, colour);
    }
}

Rgb CellTable::background(int row) const {
    return toRgb(nameCell(row)->palette().color(QPalette::Base));
}
Rgb CellTable::textColour(int row) const {
    return toRgb(nameCell(row)->palette().color(QPalette::Text));
}

}  // namespace ostrivane
