#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

namespace ostrivane {

// SIGTERM and SIGHUP (a service manager stopping the program, the session
// ending) arrive as a call from the event loop instead of ending the process
// on the spot, so that the window can close as if the user had closed it.
// The handler only writes a byte to a socket; the event loop reads it. One
// instance at a time; the default handling returns when it is destroyed.
class CloseOnSignals final : public QObject {
  public:
    explicit CloseOnSignals(std::function<void(int signal)> onSignal);
    ~CloseOnSignals() override;

    CloseOnSignals(const CloseOnSignals&) = delete;
    CloseOnSignals& operator=(const CloseOnSignals&) = delete;

  private:
    void readSignals();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace ostrivane
