#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/blacklist_table.h"
#include "core/resolver.h"

namespace ostrivane {

// What one lookup run asked for a row and what it wrote there.
struct AskedRow {
    std::string queryName;  // the name the run resolved for the row
    std::string zone;       // the row's zone when the run read it
    std::string verdict;    // the result the run wrote after the answer
};

using AskedRows = std::array<std::optional<AskedRow>, kRowCount>;

// Stands between one lookup run and the window: the run is handed it as its
// table and as its resolver, and every call goes on, once and unchanged, to the
// window's cells and to the real resolver, so the run keeps its order and its
// count of resolutions. On the way it notes, for each row, the query name
// exactly as the run asked it, which no later reading of the host field or the
// zone could tell for sure (the user may edit both while the run yields).
// A run started inside another's yield gets its own watch.
class RunWatch final : public BlacklistTable, public Resolver {
  public:
    // Both must outlive the watch.
    RunWatch(BlacklistTable& table, Resolver& resolver) : m_table(table), m_resolver(resolver) {}

    const AskedRows& askedRows() const { return m_asked; }

    // Resolver
    Resolution resolve(std::string_view name) override;

    // BlacklistTable
    std::string name(int row) const override { return m_table.name(row); }
    std::string zone(int row) const override { return m_table.zone(row); }
    std::string result(int row) const override { return m_table.result(row); }
    void setName(int row, std::string_view text) override { m_table.setName(row, text); }
    void setZone(int row, std::string_view text) override { m_table.setZone(row, text); }
    void setResult(int row, std::string_view text) override;
    void setBackground(int row, Rgb colour) override { m_table.setBackground(row, colour); }
    void setTextColour(int row, Rgb colour) override { m_table.setTextColour(row, colour); }
    Rgb background(int row) const override { return m_table.background(row); }
    Rgb textColour(int row) const override { return m_table.textColour(row); }

  private:
    BlacklistTable& m_table;
    Resolver& m_resolver;
    AskedRows m_asked;
    // The row marked "Querying..." whose question has not been asked yet.
    std::optional<int> m_querying;
};

}  // namespace ostrivane
