#include "ui/run_watch.h"

#include <cstddef>

#include "core/verdict.h"

namespace ostrivane {

// The run marks a row "Querying..." right after reading its zone and before
// asking its name, and writes the verdict after the answer; the question asked
// while a row is so marked is that row's.
void RunWatch::setResult(int row, std::string_view text) {
    m_table.setResult(row, text);
    std::optional<AskedRow>& asked = m_asked.at(static_cast<std::size_t>(row));
    if (text == kQuerying) {
        asked = AskedRow{{}, m_table.zone(row), {}};
        m_querying = row;
    } else if (asked && !asked->queryName.empty()) {
        asked->verdict = std::string(text);
    }
}

Resolution RunWatch::resolve(std::string_view name) {
    if (m_querying) {
        m_asked.at(static_cast<std::size_t>(*m_querying))->queryName = std::string(name);
        m_querying.reset();
    }
    return m_resolver.resolve(name);
}

}  // namespace ostrivane
