#pragma once

#include <array>
#include <string>

#include "core/blacklist_table.h"

namespace ostrivane {

// The table of a build without a window, and of the tests.
class MemoryTable final : public BlacklistTable {
  public:
    std::string name(int row) const override { return at(row).name; }
    std::string zone(int row) const override { return at(row).zone; }
    std::string result(int row) const override { return at(row).result; }
    void setName(int row, std::string_view text) override { at(row).name = text; }
    void setZone(int row, std::string_view text) override { at(row).zone = text; }
    void setResult(int row, std::string_view text) override { at(row).result = text; }
    void setBackground(int row, Rgb colour) override { at(row).background = colour; }
    void setTextColour(int row, Rgb colour) override { at(row).textColour = colour; }
    Rgb background(int row) const override { return at(row).background; }
    Rgb textColour(int row) const override { return at(row).textColour; }

  private:
    BlacklistRow& at(int row) { return m_rows.at(static_cast<std::size_t>(row)); }
    const BlacklistRow& at(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }

    std::array<BlacklistRow, kRowCount> m_rows{};
};

}  // namespace ostrivane
