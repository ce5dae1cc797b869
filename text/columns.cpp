#include "text/columns.h"

#include <algorithm>

#include "text/terminal_text.h"

namespace ostrivane {

namespace {

std::vector<Column> columnsFor(const std::vector<std::vector<std::string>>& rows,
                               const ColumnLayout& layout) {
    std::vector<Column> columns = layout.columns;
    for (const auto& row : rows) {
        columns.resize(std::max(columns.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (!columns[c].fixed) {
                columns[c].width = std::max(columns[c].width, displayWidth(row[c]));
            }
        }
    }
    return columns;
}

std::string alignedRow(const std::vector<std::string>& row, const std::vector<Column>& columns,
                       const std::string& indent) {
    std::string line = indent;
    for (std::size_t c = 0; c < row.size(); ++c) {
        const std::size_t width = displayWidth(row[c]);
        const std::string padding(std::max(columns[c].width, width) - width, ' ');
        if (c > 0) {
            line += "  ";
        }
        if (columns[c].align == Align::Right) {
            line += padding + row[c];
        } else if (c + 1 < row.size()) {
            line += row[c] + padding;
        } else {
            line += row[c];
        }
    }
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

}  // namespace

std::vector<std::string> alignColumns(const std::vector<std::vector<std::string>>& rows,
                                      const ColumnLayout& layout) {
    const auto columns = columnsFor(rows, layout);
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const auto& row : rows) {
        lines.push_back(alignedRow(row, columns, layout.indent));
    }
    return lines;
}

}  // namespace ostrivane
