#pragma once

// Asks every zone about every address at once over one c-ares channel, with
// the zones' health questions in the same batch.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "engine/asked.h"
#include "engine/list_answer.h"
#include "engine/zone_probe.h"
#include "results/check_result.h"

namespace ostrivane {

struct EngineSettings {
    std::chrono::milliseconds timeout{2000};  // no question waits longer
    std::vector<std::string> servers;         // "ADDRESS:PORT"; empty: /etc/resolv.conf's
};

struct EngineFailure {
    std::string reason;
};

// Takes each address's results, zones in order, as soon as every zone has
// answered for it (or can no longer), addresses in the order given.
using AddressResultSink = std::function<void(std::vector<CheckResult>&& results)>;

// Asks the lists and hands the results to `sink` address by address; returns
// the zones with their states. Each zone is asked about the test points of
// both families first (RFC 5782): 127.0.0.2 and 127.0.0.1, ::FFFF:7F00:2 and
// ::FFFF:7F00:1. A zone whose health for a family is known to be bad gets no
// questions about that family's addresses; one whose health is still open
// has at most a few questions in flight. The questions are paced by a
// QuestionPacer (check/question_pacer.h): c-ares sends them all to the first
// server that works, so the pacing is that server's. Each answer with an
// address (a listing or an error code) has its TXT record asked within the
// deadline of its own question. At most a bounded number of results wait for
// their address's last zone, so memory stays flat however many addresses.
std::variant<std::vector<CheckedZone>, EngineFailure> askListsStreaming(
    const std::vector<CheckAddress>& addresses, const std::vector<AskedZone>& zones,
    const EngineSettings& settings, const AddressResultSink& sink);

// The same, keeping every result in the run (address by address, zones in
// order); the caller sets the times and the unresolved targets.
std::variant<CheckRun, EngineFailure> askLists(const std::vector<CheckAddress>& addresses,
                                               const std::vector<AskedZone>& zones,
                                               const EngineSettings& settings);

// Asks every zone about the test points of both families only (127.0.0.2 and
// 127.0.0.1, ::FFFF:7F00:2 and ::FFFF:7F00:1), all at once on the same
// channel, each question within the time-out; in the zones' order.
std::variant<std::vector<ZoneProbe>, EngineFailure> probeZones(const std::vector<AskedZone>& zones,
                                                               const EngineSettings& settings);

}  // namespace ostrivane
