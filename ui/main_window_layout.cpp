#include "ui/main_window_layout.h"

namespace ostrivane {

QRect pixelRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

std::string arrayControlName(std::string_view array, int index) {
    return std::string(array) + "_" + std::to_string(index);
}

std::vector<std::string> tabOrder() {
    std::vector<std::string> order{std::string(kHostFieldName), std::string(kLookupButtonName),
                                   std::string(kResetButtonName)};
    const auto addRow = [&order](int row, std::initializer_list<std::string_view> arrays) {
        for (std::string_view array : arrays) {
            order.push_back(arrayControlName(array, row));
        }
    };
    for (int row = 0; row <= 9; ++row) {
        addRow(row, {kNameCellsName, kZoneCellsName, kResultCellsName});
    }
    for (int row = 10; row <= 18; ++row) {
        addRow(row, {kResultCellsName, kZoneCellsName, kNameCellsName});
    }
    for (int row = 0; row < kRowCount; ++row) {
        order.push_back(arrayControlName(kInfoButtonsName, row));
    }
    addRow(kRowCount - 1, {kNameCellsName, kZoneCellsName, kResultCellsName});
    return order;
}

}  // namespace ostrivane
