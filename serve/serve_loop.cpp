#include "serve/serve_loop.h"

#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <thread>

namespace ostrivane {

namespace {

using Clock = std::chrono::steady_clock;

// A stop ends the process this long after the signal at the latest.
constexpr std::chrono::milliseconds kStopBound{900};

struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool reload = false;
    int finished = 0;  // threads done
};

void checkLoop(Shared& shared, Exporter& exporter, const ServeHooks& hooks,
               std::chrono::seconds interval, std::ostream& err) {
    for (;;) {
        hooks.check(exporter);
        const auto wait = hooks.interval ? hooks.interval() : interval;
        std::unique_lock lock(shared.mutex);
        shared.wake.wait_for(lock, wait, [&] { return shared.stopping || shared.reload; });
        if (shared.stopping) {
            return;
        }
        if (shared.reload) {
            shared.reload = false;
            lock.unlock();
            if (auto problem = hooks.reload(exporter)) {
                exporter.countFailure(Exporter::Failure::Config);
                err << "ostrivane --serve: SIGHUP: the settings were not re-read, the previous "
                       "ones stay: "
                    << *problem << std::endl;
            } else {
                err << "ostrivane --serve: SIGHUP: settings re-read" << std::endl;
            }
        }
    }
}

void finish(Shared& shared) {
    std::lock_guard lock(shared.mutex);
    ++shared.finished;
    shared.wake.notify_all();
}

sigset_t stopAndReloadSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// Waits for signals; returns at SIGTERM or SIGINT.
void waitForStop(Shared& shared, const sigset_t& signals) {
    for (;;) {
        const timespec step{0, 200'000'000};
        const int signal = sigtimedwait(&signals, nullptr, &step);
        if (signal == SIGHUP) {
            std::lock_guard lock(shared.mutex);
            shared.reload = true;
            shared.wake.notify_all();
        } else if (signal == SIGTERM || signal == SIGINT) {
            return;
        }
    }
}

}  // namespace

int serveUntilStopped(const ServeSettings& settings, Exporter& exporter, const ServeHooks& hooks,
                      std::ostream& err) {
    // Blocked before any thread starts, so that only this thread takes them.
    const sigset_t signals = stopAndReloadSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    BoundedServer server(settings.limits);
    installRoutes(server.routes(), exporter);
    if (!server.bindTo(settings.listen.host, settings.listen.port)) {
        err << "ostrivane --serve: cannot listen on " << settings.listen.host << ":"
            << settings.listen.port << ": the address is in use or not this machine's\n";
        return 1;
    }
    err << "ostrivane --serve: listening on " << settings.listen.host << ":" << settings.listen.port
        << std::endl;
    Shared shared;
    std::thread http([&] {
        server.serve();
        finish(shared);
    });
    std::thread checks([&] {
        checkLoop(shared, exporter, hooks, settings.interval, err);
        finish(shared);
    });

    waitForStop(shared, signals);
    const auto deadline = Clock::now() + kStopBound;
    server.shutDown();
    std::unique_lock lock(shared.mutex);
    shared.stopping = true;
    shared.wake.notify_all();
    shared.wake.wait_until(lock, deadline, [&] { return shared.finished == 2; });
    if (shared.finished < 2) {
        // A check still waits for a list's answer: the history store's
        // transaction is rolled back on its next opening, nothing is lost.
        err.flush();
        std::_Exit(0);
    }
    lock.unlock();
    http.join();
    checks.join();
    return 0;
}

}  // namespace ostrivane
