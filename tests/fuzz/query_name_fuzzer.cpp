// Every blacklist question is reverseOctets of the host's address plus a zone
// as the row holds it. The address always comes from formatDottedQuad, but a
// zone is whatever the user typed, and reverseOctets must not trip on text
// that no resolver would have written either.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/address.h"
#include "fuzz_support.h"

namespace {

using namespace ostrivane;

std::string sorted(std::string_view text) {
    std::string bytes(text);
    std::sort(bytes.begin(), bytes.end());
    return bytes;
}

// Any text: reversal only reorders the parts, so it keeps every byte, and with
// exactly four parts a second reversal restores the text.
void checkAnyText(std::string_view text) {
    const std::string reversed = reverseOctets(text);
    const auto dots = std::count(text.begin(), text.end(), '.');
    if (dots < 3) {
        fuzz::check(reversed.empty(), "fewer than four parts give empty text", text);
    }
    if (reversed.empty()) {
        return;
    }
    fuzz::check(sorted(reversed) == sorted(text), "reversal keeps every byte", text);
    if (dots == 3) {
        fuzz::check(reverseOctets(reversed) == text, "reversing twice restores the text", text);
    }
}

void checkAddressAndZone(const std::array<std::uint8_t, 4>& address, std::string_view zone) {
    const std::string dotted = formatDottedQuad(address);
    const std::string reversed = reverseOctets(dotted);
    const std::string expected = formatDottedQuad({address[3], address[2], address[1], address[0]});
    fuzz::check(reversed == expected, "a formatted address reverses byte by byte", dotted);
    fuzz::check(reverseOctets(reversed) == dotted, "a reversed address reverses back", dotted);

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
