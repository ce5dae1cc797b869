#include "core/resolver.h"

namespace ostrivane {

IPv4Bytes resolveHost(Resolver& resolver, std::string_view name) {
    return resolver.resolve(name).address;
}

std::string unresolvedReason(const Resolution& answer) {
    if (answer.status == ResolveStatus::NotFound) {
        return "the name does not exist";
    }
    std::string text = "the DNS gave no answer";
    if (!answer.reason.empty()) {
        text += " (" + answer.reason + ")";
    }
    return text;
}

}  // namespace ostrivane
