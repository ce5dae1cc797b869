// The page a row's "?" button opens is handed to the shell, so whatever the
// user typed as the name must give an address with nothing in it that a
// browser or a shell would read differently: no blank, no control byte, no raw
// byte above 0x7E. A web search must search for exactly the name.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/information_page.h"
#include "fuzz_support.h"

namespace {

using namespace ostrivane;

std::optional<int> hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return std::nullopt;
}

bool unreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '~';
}

// The search terms decoded, or nothing when they are not strictly unreserved
// bytes and %XX with upper-case hex digits.
std::optional<std::string> decodeSearchTerms(std::string_view encoded) {
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            if (!unreserved(encoded[i])) {
                return std::nullopt;
            }
            decoded += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size()) {
            return std::nullopt;
        }
        const auto high = hexDigit(encoded[i + 1]);
        const auto low = hexDigit(encoded[i + 2]);
        if (!high || !low) {
            return std::nullopt;
        }
        decoded += static_cast<char>(*high * 16 + *low);
        i += 2;
    }
    return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name = fuzz::asText(data, size);
    const std::string page = informationPageFor(name);

    fuzz::check(page.starts_with("http://") || page.starts_with("https://"),
                "the page is a web address", page);
    for (char c : page) {
        const auto byte = static_cast<unsigned char>(c);
        fuzz::check(byte > 0x20 && byte < 0x7F, "the page holds only visible ASCII", page);
    }
    if (page.starts_with(kSearchPrefix)) {
        const auto terms = decodeSearchTerms(std::string_view(page).substr(kSearchPrefix.size()));
        fuzz::check(terms.has_value(), "the search terms are percent-encoded", page);
        fuzz::check(*terms == name, "the search is for exactly the name", page);
    }
    return 0;
}
