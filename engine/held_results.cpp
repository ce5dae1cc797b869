#include "engine/held_results.h"

#include "core/address.h"

namespace ostrivane {

namespace {

// Results waiting for their address's last zone, at most (about 16 MB).
constexpr std::size_t kMaxHeldResults = std::size_t{1} << 18;

}  // namespace

bool HeldResults::hold(std::size_t address) {
    while (m_delivered + m_held.size() <= address) {
        if ((m_held.size() + 1) * m_zones.size() > kMaxHeldResults && !m_held.empty()) {
            return false;
        }
        m_held.emplace_back(m_zones.size());
    }
    return true;
}

ResultProgress* HeldResults::progressOf(std::size_t address, std::size_t zone) {
    if (address < m_delivered) {
        return nullptr;
    }
    return &m_held[address - m_delivered][zone];
}

bool HeldResults::complete(std::size_t address, const std::vector<ResultProgress>& held,
                           const ZoneHealthBook& zones) const {
    const auto family = familyOf(m_addresses[address].address);
    for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
        const auto& health = zones.health(zone, family);
        if (!held[zone].done && (!health || *health == ZoneHealth::Healthy)) {
            return false;
        }
    }
    return true;
}

void HeldResults::deliverReady(const ZoneHealthBook& zones, const AddressResultSink& sink) {
    if (!zones.allKnown()) {
        return;
    }
    while (!m_held.empty() && complete(m_delivered, m_held.front(), zones)) {
        deliverFirst(zones, sink);
    }
}

void HeldResults::deliverRest(const ZoneHealthBook& zones, const AddressResultSink& sink) {
    while (m_delivered < m_addresses.size()) {
        hold(m_delivered);
        deliverFirst(zones, sink);
    }
}

void HeldResults::deliverFirst(const ZoneHealthBook& zones, const AddressResultSink& sink) {
    const auto& address = m_addresses[m_delivered];
    const auto family = familyOf(address.address);
    std::vector<CheckResult> results;
    results.reserve(m_zones.size());
    const auto text = formatIpAddress(address.address);
    for (std::size_t zone = 0; zone < m_zones.size(); ++zone) {
        const auto& progress = m_held.front()[zone];
        CheckResult result;
        result.target = address.target;
        result.address = text;
        result.zone = m_zones[zone].zone;
        result.verdict =
            verdictOf(progress.answer, zones.health(zone, family).value_or(ZoneHealth::EmptyOrDead),
                      zones.health(zone, 1 - family).value_or(ZoneHealth::EmptyOrDead));
        if (progress.answer.kind == ListAnswer::Kind::Addresses) {
            for (const auto& answer : progress.answer.addresses) {
                result.answers.push_back(formatDottedQuad(answer));
            }
        }
        if (result.verdict == CheckVerdict::Listed || result.verdict == CheckVerdict::ListError) {
            result.reason = progress.reason;
        }
        if (result.verdict == CheckVerdict::ListError && result.reason.empty()) {
            result.reason = zones.refusal(zone);
        }
        results.push_back(std::move(result));
    }
    m_held.pop_front();
    ++m_delivered;
    sink(std::move(results));
}

}  // namespace ostrivane
