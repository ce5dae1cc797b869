#pragma once

#include <iosfwd>
#include <string>

#include "core/lookup_view.h"

namespace ostrivane {

// The view of a run without a window: it holds the host text, has no pointer,
// button or events, and writes its message to a stream (standard error) where
// nobody has to dismiss it.
class StandaloneLookupView final : public LookupView {
  public:
    StandaloneLookupView(std::string host, std::ostream& messages);

    std::string hostText() const override { return m_host; }
    void setHostText(std::string_view text) override { m_host = text; }
    void setBusyPointer(bool) override {}
    void setLookupEnabled(bool) override {}
    bool yieldToEvents() override { return true; }
    void showMessage(std::string_view prompt, std::string_view title) override;

  private:
    std::string m_host;
    std::ostream& m_messages;
};

}  // namespace ostrivane
