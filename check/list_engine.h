#pragma once

// Asks every zone about every address at once over one c-ares channel, with
// the zones' health questions in the same batch.

#include <chrono>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "check/check_result.h"
#include "check/list_answer.h"
#include "check/target.h"

namespace ostrivane {

struct CheckZone {
    std::string zone;
    std::string name;  // the list file's name for it; empty for --zone
};

struct EngineSettings {
    std::chrono::milliseconds timeout{2000};  // no question waits longer
    std::vector<std::string> servers;         // "ADDRESS:PORT"; empty: /etc/resolv.conf's
    std::size_t maxOutstanding = 256;
};

struct EngineFailure {
    std::string reason;
};

// Fills zones and results of a run (address by address, zones in order); the
// caller sets the times and the unresolved targets. Each zone is asked about
// 127.0.0.2 and 127.0.0.1 first. A zone whose health is known to be bad gets
// no further questions; one whose health is still open has at most a few
// questions in flight, so a dead zone holds few of the outstanding places
// while its health questions wait out their time-out. Each listing's TXT
// record is asked as soon as the listing arrives, within the deadline of the
// listing's own question.
std::variant<CheckRun, EngineFailure> askLists(const std::vector<CheckAddress>& addresses,
                                               const std::vector<CheckZone>& zones,
                                               const EngineSettings& settings);

// What a zone answered about 127.0.0.2 and 127.0.0.1, and the state it is in.
struct ZoneProbe {
    ListAnswer for127_0_0_2;
    ListAnswer for127_0_0_1;
    ZoneHealth health = ZoneHealth::EmptyOrDead;
};

// Asks every zone about 127.0.0.2 and 127.0.0.1 only, all at once on the
// same channel, each question within the time-out; in the zones' order.
std::variant<std::vector<ZoneProbe>, EngineFailure> probeZones(const std::vector<CheckZone>& zones,
                                                               const EngineSettings& settings);

}  // namespace ostrivane
