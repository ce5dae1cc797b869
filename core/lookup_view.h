#pragma once

#include <string>
#include <string_view>

namespace ostrivane {

// What the lookup run needs of the window: the host field, the pointer, the
// "Look it up!" button, the event loop and a message box.
class LookupView {
  public:
    virtual ~LookupView() = default;

    virtual std::string hostText() const = 0;
    virtual void setHostText(std::string_view text) = 0;
    virtual void setBusyPointer(bool busy) = 0;
    virtual void setLookupEnabled(bool enabled) = 0;
    // Processes the events pending now. Returns false once the window has
    // closed under the run, which must then stop without touching the table.
    [[nodiscard]] virtual bool yieldToEvents() = 0;
    // A modal box with one OK button and no icon.
    virtual void showMessage(std::string_view prompt, std::string_view title) = 0;
};

}  // namespace ostrivane
