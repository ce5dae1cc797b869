#pragma once

// What each zone of a run answered at its test points (RFC 5782): 127.0.0.2
// and 127.0.0.1, ::FFFF:7F00:2 and ::FFFF:7F00:1, indexed family * 2 +
// point; the health they make of each family (core's classifyZone); the
// address questions asked of a family whose health is still open; and the
// TXT record beside an error code at a test point, which explains every
// list-error of the zone.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ip_address.h"
#include "core/zone_health.h"
#include "engine/asked.h"
#include "engine/list_answer.h"
#include "engine/zone_probe.h"
#include "results/check_result.h"

namespace ostrivane {

// 0 for IPv4, 1 for IPv6: the index of the address's family.
std::size_t familyOf(const IpAddress& address);

// The test point asked by a question of that point (family * 2 + point).
const IpAddress& testPointAddress(std::uint8_t point);

class ZoneHealthBook {
  public:
    explicit ZoneHealthBook(std::size_t zones) : m_zones(zones) {}

    // The zone's answer at a test point; the family's health once both of
    // its points have answered.
    void record(std::size_t zone, std::uint8_t point, ListAnswer answer);
    // Nothing yet when a test point of the family has not answered.
    const std::optional<ZoneHealth>& health(std::size_t zone, std::size_t family) const {
        return m_zones[zone].health[family];
    }
    // True when the zone may be asked about an address of the family now: it
    // is healthy for it, or its health is still open and few of its questions
    // are out.
    bool mayAsk(std::size_t zone, std::size_t family) const;
    // An address question asked, or settled, while the family's health was open.
    void unprovenAsked(std::size_t zone, std::size_t family) { ++m_zones[zone].unproven[family]; }
    void unprovenSettled(std::size_t zone, std::size_t family) { --m_zones[zone].unproven[family]; }

    // The TXT record beside an error code at a test point: asked, and answered.
    void refusalAsked(std::size_t zone) { ++m_zones[zone].pendingReasons; }
    void refusalAnswered(std::size_t zone, const std::string& reason);
    // The first such record, for every list-error of the zone without its own.
    const std::string& refusal(std::size_t zone) const { return m_zones[zone].refusal; }

    // Every zone's health is known for both families, with its refusal's reason.
    bool allKnown() const;
    // At the end of the run: a family still open is empty or dead.
    void closeUnknown();

    // What each zone answered, for the zone check.
    std::vector<ZoneProbe> probes() const;
    // The zones as a run shows them, with the answers for their listed test
    // points (where a refusing list's error code shows).
    std::vector<CheckedZone> checkedZones(const std::vector<AskedZone>& zones) const;

  private:
    struct Zone {
        std::array<std::optional<ListAnswer>, 4> points;
        std::array<std::optional<ZoneHealth>, 2> health;
        std::array<std::size_t, 2> unproven{};
        std::size_t pendingReasons = 0;
        std::string refusal;
    };
    std::vector<Zone> m_zones;
};

}  // namespace ostrivane
