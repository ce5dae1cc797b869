#include "ui/close_on_signals.h"

#include <utility>

#include <QSocketNotifier>

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace ostrivane {

#ifndef _WIN32
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP};

// The socket pair between the handler and the event loop: the handler writes
// to [0], the loop reads from [1].
int g_signalSocket[2] = {-1, -1};

extern "C" void writeSignalByte(int signal) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // Should the socket be full, a close is already on its way.
    [[maybe_unused]] const auto written = ::write(g_signalSocket[0], &byte, 1);
    errno = savedErrno;
}

}  // namespace

CloseOnSignals::CloseOnSignals(std::function<void(int signal)> onSignal)
    : m_onSignal(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSocket) != 0) {
        return;  // the signals keep their default handling
    }
    m_notifier = new QSocketNotifier(g_signalSocket[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CloseOnSignals::readSignals);
    struct sigaction action {};
    action.sa_handler = writeSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

CloseOnSignals::~CloseOnSignals() {
    if (m_notifier == nullptr) {
        return;
    }
    for (const int signal : kSignals) {
        ::signal(signal, SIG_DFL);
    }
    delete m_notifier;
    ::close(g_signalSocket[0]);
    ::close(g_signalSocket[1]);
    g_signalSocket[0] = g_signalSocket[1] = -1;
}

void CloseOnSignals::readSignals() {
    unsigned char byte = 0;
    int last = 0;
    while (::read(g_signalSocket[1], &byte, 1) == 1) {
        last = byte;
    }
    if (last != 0 && m_onSignal) {
        m_onSignal(last);
    }
}
#else
CloseOnSignals::CloseOnSignals(std::function<void(int signal)> onSignal)
    : m_onSignal(std::move(onSignal)) {}
CloseOnSignals::~CloseOnSignals() = default;
void CloseOnSignals::readSignals() {}
#endif

}  // namespace ostrivane
