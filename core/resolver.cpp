#include "core/resolver.h"

namespace ostrivane {

IPv4Bytes resolveHost(Resolver& resolver, std::string_view name) {
    return resolver.resolve(name).address;
}

}  // namespace ostrivane
