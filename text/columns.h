#pragma once

// Columns for the terminal: every table the program prints (the check's
// results, the zone check, the timeline) lines up through here, by the
// columns a cell takes on screen rather than by its bytes.

#include <cstddef>
#include <string>
#include <vector>

namespace ostrivane {

enum class Align { Left, Right };

struct Column {
    std::size_t width = 0;  // at least this many columns
    bool fixed = false;     // a wider cell overflows instead of widening the column
    Align align = Align::Left;
};

struct ColumnLayout {
    std::string indent;           // before the first cell
    std::vector<Column> columns;  // the others: left-aligned, as wide as their widest cell
};

// Each row as one line: every cell padded to its column's width, two blanks
// between cells, nothing after a left-aligned last cell, and no trailing
// blanks. Cells are shown as they are: escape text from outside first.
std::vector<std::string> alignColumns(const std::vector<std::vector<std::string>>& rows,
                                      const ColumnLayout& layout = {});

}  // namespace ostrivane
