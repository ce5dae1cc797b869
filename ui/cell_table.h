#pragma once

#include "core/blacklist_table.h"
#include "ui/main_window_controls.h"

class QLineEdit;

namespace ostrivane {

// The blacklist table is the window's 60 cells themselves: every read and
// write goes to the text and colours the user sees, so there is no copy to
// fall out of step with what the user typed.
class CellTable final : public BlacklistTable {
  public:
    // The controls must be created before the table is first used.
    explicit CellTable(const MainWindowControls& controls) : m_controls(controls) {}

    std::string name(int row) const override;
    std::string zone(int row) const override;
    std::string result(int row) const override;
    void setName(int row, std::string_view text) override;
    void setZone(int row, std::string_view text) override;
    void setResult(int row, std::string_view text) override;

    void setBackground(int row, Rgb colour) override;
    void setTextColour(int row, Rgb colour) override;
    Rgb background(int row) const override;
    Rgb textColour(int row) const override;

  private:
    QLineEdit* nameCell(int row) const;
    QLineEdit* zoneCell(int row) const;
    QLineEdit* resultCell(int row) const;

    const MainWindowControls& m_controls;
};

}  // namespace ostrivane
