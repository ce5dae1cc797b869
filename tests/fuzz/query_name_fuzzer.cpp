// Every blacklist question is the reversed name of the host's address plus a
// zone as the row holds it. The address comes from the resolver's bytes, but a
// zone is whatever the user typed, and the address parser must not trip on
// text that no resolver would have written either.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/address.h"
#include "core/ip_address.h"
#include "fuzz_support.h"

namespace {

using namespace ostrivane;

std::string sorted(std::string_view text) {
    std::string bytes(text);
    std::sort(bytes.begin(), bytes.end());
    return bytes;
}

// Any text: what the parser takes reverses into a name of the same parts, and
// a dotted quad's reversed name parses back to the reversed address.
void checkAnyText(std::string_view text) {
    const auto address = parseIpAddress(text);
    if (!address || address->family != IpAddress::Family::V4) {
        return;
    }
    const std::string reversed = reversedName(*address);
    const std::string dotted = formatIpAddress(*address);
    fuzz::check(sorted(reversed) == sorted(dotted), "reversal keeps every byte", text);
    const auto back = parseIpAddress(reversed);
    fuzz::check(back && reversedName(*back) == dotted, "reversing twice restores the address",
                text);
}

void checkAddressAndZone(const std::array<std::uint8_t, 4>& address, std::string_view zone) {
    const std::string dotted = formatDottedQuad(address);
    const std::string reversed = reversedName(ipv4Address(address));
    const std::string expected = formatDottedQuad({address[3], address[2], address[1], address[0]});
    fuzz::check(reversed == expected, "a formatted address reverses byte by byte", dotted);
    fuzz::check(parseIpAddress(dotted) == ipv4Address(address), "a formatted address parses back",
                dotted);

    const std::string name = queryName(reversed, zone);
    fuzz::check(name.size() == reversed.size() + 1 + zone.size() && name.starts_with(reversed) &&
                    name[reversed.size()] == '.' && name.ends_with(zone),
                "the query name is the reversed address, a dot and the zone as it stands", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::asText(data, size);
    checkAnyText(input);
    // The first four bytes as an address, the rest as the row's zone.
    if (size >= 4) {
        checkAddressAndZone({data[0], data[1], data[2], data[3]}, input.substr(4));
    }
    return 0;
}
