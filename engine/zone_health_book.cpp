#include "engine/zone_health_book.h"

#include <algorithm>

#include "core/address.h"

namespace ostrivane {

namespace {

// How many of a zone's address questions of one family may be in flight
// before the zone's health for that family is known. Enough to keep a healthy
// zone busy for the first round trip, few enough that a dead zone is asked
// little more than its test points.
constexpr std::size_t kUnprovenZoneInFlight = 16;

// The address every list must list, then the one no list may list, for each
// family.
std::array<IpAddress, 4> testPoints() {
    IpAddress v4listed;
    v4listed.bytes = {127, 0, 0, 2};
    IpAddress v4unlisted;
    v4unlisted.bytes = {127, 0, 0, 1};
    IpAddress v6listed{IpAddress::Family::V6, {}};
    v6listed.bytes = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x7F, 0, 0, 2};
    IpAddress v6unlisted = v6listed;
    v6unlisted.bytes[15] = 1;
    return {v4listed, v4unlisted, v6listed, v6unlisted};
}

}  // namespace

std::size_t familyOf(const IpAddress& address) {
    return address.family == IpAddress::Family::V4 ? 0 : 1;
}

const IpAddress& testPointAddress(std::uint8_t point) {
    static const std::array<IpAddress, 4> points = testPoints();
    return points[point];
}

void ZoneHealthBook::record(std::size_t zone, std::uint8_t point, ListAnswer answer) {
    auto& state = m_zones[zone];
    state.points[point] = std::move(answer);
    const std::size_t family = point / 2;
    const auto& listed = state.points[family * 2];
    const auto& unlisted = state.points[family * 2 + 1];
    if (listed && unlisted) {
        state.health[family] = classifyZone(resolutionOf(*listed), resolutionOf(*unlisted));
    }
}

bool ZoneHealthBook::mayAsk(std::size_t zone, std::size_t family) const {
    const auto& state = m_zones[zone];
    if (!state.health[family]) {
        return state.unproven[family] < kUnprovenZoneInFlight;
    }
    return *state.health[family] == ZoneHealth::Healthy;
}

void ZoneHealthBook::refusalAnswered(std::size_t zone, const std::string& reason) {
    auto& state = m_zones[zone];
    --state.pendingReasons;
    if (state.refusal.empty()) {
        state.refusal = reason;
    }
}

bool ZoneHealthBook::allKnown() const {
    return std::all_of(m_zones.begin(), m_zones.end(), [](const Zone& state) {
        return state.health[0] && state.health[1] && state.pendingReasons == 0;
    });
}

void ZoneHealthBook::closeUnknown() {
    for (auto& state : m_zones) {
        for (auto& health : state.health) {
            health = health.value_or(ZoneHealth::EmptyOrDead);
        }
    }
}

std::vector<ZoneProbe> ZoneHealthBook::probes() const {
    std::vector<ZoneProbe> probes;
    for (const auto& state : m_zones) {
        const auto ipv4 = state.health[0].value_or(ZoneHealth::EmptyOrDead);
        const auto ipv6 = state.health[1].value_or(ZoneHealth::EmptyOrDead);
        probes.push_back({state.points[0].value_or(ListAnswer{}),
                          state.points[1].value_or(ListAnswer{}), zoneHealthOf(ipv4, ipv6),
                          state.points[2].value_or(ListAnswer{}),
                          state.points[3].value_or(ListAnswer{}), ipv4, ipv6});
    }
    return probes;
}

std::vector<CheckedZone> ZoneHealthBook::checkedZones(const std::vector<AskedZone>& zones) const {
    std::vector<CheckedZone> checked;
    for (std::size_t zone = 0; zone < zones.size(); ++zone) {
        const auto ipv4 = *m_zones[zone].health[0];
        const auto ipv6 = *m_zones[zone].health[1];
        checked.push_back(
            {zones[zone].zone, zones[zone].name, zoneHealthOf(ipv4, ipv6), ipv4, ipv6});
        // The error code a refusing list answers shows at its test points.
        for (const std::size_t point : {std::size_t{0}, std::size_t{2}}) {
            if (const auto& answer = m_zones[zone].points[point]) {
                for (const auto& address : answer->addresses) {
                    checked.back().testAnswers.push_back(formatDottedQuad(address));
                }
            }
        }
    }
    return checked;
}

}  // namespace ostrivane
