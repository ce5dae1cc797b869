// A --check target is whatever the user typed or piped in: an address, a
// block or a host name. Whatever the text, parsing must not trip, an address
// must come back from its own canonical text, and its query name must have
// the shape RFC 5782 gives it.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include "check/target.h"
#include "core/ip_address.h"
#include "fuzz_support.h"

namespace {

using namespace ostrivane;

std::size_t labelCount(std::string_view name) {
    return static_cast<std::size_t>(std::count(name.begin(), name.end(), '.')) + 1;
}

// A parsed address formats to text that parses to the same address and
// formats the same again; its reversed name has 4 or 32 labels.
void checkAddress(const IpAddress& address, std::string_view input) {
    const std::string text = formatIpAddress(address);
    const auto again = parseIpAddress(text);
    fuzz::check(again.has_value(), "the canonical text parses", input);
    fuzz::check(*again == address, "the canonical text is the same address", input);
    fuzz::check(formatIpAddress(*again) == text, "formatting is stable", input);
    const std::string reversed = reversedName(address);
    const bool v4 = address.family == IpAddress::Family::V4;
    fuzz::check(labelCount(reversed) == (v4 ? 4u : 32u), "RFC 5782 label count", input);
    if (!v4) {
        for (std::size_t i = 0; i < reversed.size(); i += 2) {
            fuzz::check(std::isxdigit(static_cast<unsigned char>(reversed[i])) != 0,
                        "each IPv6 label is one nibble", input);
        }
    }
    fuzz::check(listQueryName(address, "bl.example") == reversed + ".bl.example",
                "the query name is the reversed name, a dot and the zone", input);
}

void checkText(std::string_view text) {
    if (const auto address = parseIpAddress(text)) {
        checkAddress(*address, text);
    }
    const auto target = parseTarget(text);
    if (const auto* parsed = std::get_if<Target>(&target)) {
        fuzz::check(parsed->text == text, "a target keeps the text it was given", text);
        if (const auto* block = std::get_if<AddressBlock>(&parsed->what)) {
            const bool v4 = block->first.family == IpAddress::Family::V4;
            fuzz::check(block->prefix >= (v4 ? kWidestIPv4Prefix : kWidestIPv6Prefix) &&
                            block->prefix <= (v4 ? 32 : 128),
                        "a block is no wider than a run allows", text);
            checkAddress(block->first, text);
        }
    }
}

// Any 16 bytes are an IPv6 address, and any 4 an IPv4 one.
void checkBytes(const std::uint8_t* data, std::size_t size) {
    for (const auto family : {IpAddress::Family::V4, IpAddress::Family::V6}) {
        const std::size_t length = family == IpAddress::Family::V4 ? 4 : 16;
        if (size < length) {
            continue;
        }
        IpAddress address;
        address.family = family;
        std::memcpy(address.bytes.data(), data, length);
        checkAddress(address, fuzz::asText(data, length));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkText(fuzz::asText(data, size));
    checkBytes(data, size);
    return 0;
}
