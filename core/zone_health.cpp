#include "core/zone_health.h"

#include <algorithm>

#include "core/address.h"

namespace ostrivane {

std::string_view zoneHealthText(ZoneHealth health) {
    switch (health) {
        case ZoneHealth::Healthy:
            return "healthy";
        case ZoneHealth::ListsEverything:
            return "lists everything";
        case ZoneHealth::RefusesUs:
            return "refuses us";
        case ZoneHealth::EmptyOrDead:
            break;
    }
    return "empty or dead";
}

std::string zoneHealthKey(ZoneHealth health, char blank) {
    std::string key(zoneHealthText(health));
    std::replace(key.begin(), key.end(), ' ', blank);
    return key;
}

namespace {

bool isErrorCode(const Resolution& answer) {
    return answer.status == ResolveStatus::Resolved && answer.address &&
           !isListingAnswer(*answer.address);
}

bool isListing(const Resolution& answer) {
    return answer.status == ResolveStatus::Resolved && answer.address &&
           isListingAnswer(*answer.address);
}

}  // namespace

ZoneHealth classifyZone(const Resolution& answerFor127_0_0_2,
                        const Resolution& answerFor127_0_0_1) {
    if (isErrorCode(answerFor127_0_0_2) || isErrorCode(answerFor127_0_0_1)) {
        return ZoneHealth::RefusesUs;
    }
    if (isListing(answerFor127_0_0_1)) {
        return ZoneHealth::ListsEverything;
    }
    if (isListing(answerFor127_0_0_2) && answerFor127_0_0_1.status == ResolveStatus::NotFound) {
        return ZoneHealth::Healthy;
    }
    return ZoneHealth::EmptyOrDead;
}

ZoneHealth zoneHealthOf(ZoneHealth ipv4, ZoneHealth ipv6) {
    return ipv4 == ZoneHealth::Healthy || ipv6 == ZoneHealth::Healthy ? ZoneHealth::Healthy : ipv4;
}

}  // namespace ostrivane
