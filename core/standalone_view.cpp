#include "core/standalone_view.h"

#include <ostream>

namespace ostrivane {

StandaloneLookupView::StandaloneLookupView(std::string host, std::ostream& messages)
    : m_host(std::move(host)), m_messages(messages) {}

void StandaloneLookupView::showMessage(std::string_view prompt, std::string_view) {
    m_messages << prompt << '\n' << std::flush;
}

}  // namespace ostrivane
