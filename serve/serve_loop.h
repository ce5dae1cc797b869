#pragma once

// `ostrivane --serve` at run time: the HTTP server on its own thread, the
// periodic check on another, and the calling thread waiting for signals.
// SIGTERM or SIGINT ends it within a second; SIGHUP re-reads the settings
// and checks at once with them, or keeps the previous ones when they cannot
// be read (said on the error stream, counted among the exporter's errors).

#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "serve/bounded_server.h"
#include "serve/exporter.h"

namespace ostrivane {

struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};

struct ServeHooks {
    // Runs one periodic check and publishes it on the exporter.
    std::function<void(Exporter&)> check;
    // Re-reads the settings; the reason when they could not be read (the
    // previous ones stay).
    std::function<std::optional<std::string>(Exporter&)> reload;
    // The time until the next check, asked after each check (a reload may
    // change it); empty: ServeSettings' interval.
    std::function<std::chrono::seconds()> interval;
};

struct ServeSettings {
    ListenAddress listen;
    std::chrono::seconds interval{900};
    ServerLimits limits;
};

// Binds, serves and checks until a stop signal. Returns 0 after a stop; a
// non-zero status when the address cannot be bound (said on `err`).
int serveUntilStopped(const ServeSettings& settings, Exporter& exporter, const ServeHooks& hooks,
                      std::ostream& err);

// Registers /, /metrics, /probe and /healthz, and answers every other path
// and every library-made error with a plain reason.
void installRoutes(httplib::Server& server, Exporter& exporter);

}  // namespace ostrivane
