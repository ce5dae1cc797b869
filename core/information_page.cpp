#include "core/information_page.h"

#include <array>
#include <cctype>

namespace ostrivane {

namespace {

struct InformationPageRule {
    std::string_view trigger;
    std::string_view page;  // empty: the rule clears the selection
};

// Order matters: "NJABL Dynablock" must win over "NJABL", and "CASA-CBL" must
// undo the "CBL" match that its name also makes.
constexpr std::array<InformationPageRule, 13> kInformationPageRules{{
    {"CBL", "https://cbl.abuseat.org/"},
    {"Spamhaus SBL", "https://www.spamhaus.org/sbl/"},
    {"Spamhaus XBL", "https://www.spamhaus.org/sbl/"},
    {"Spamhaus PBL", "https://www.spamhaus.org/pbl/"},
    {"SpamCop", "https://www.spamcop.net/bl.shtml"},
    {"DSBL", "http://dsbl.org/"},
    {"SORBS", "http://www.sorbs.net/"},
    {"NJABL", "http://www.njabl.org/"},
    {"NJABL Dynablock", "http://www.njabl.org/dynablock.html"},
    {"CASA-CBL", ""},
    {"SPEWS", "http://www.spews.org/"},
    {"PSBL", "https://psbl.org/"},
    {"UCEPROTECT", "https://www.uceprotect.net/en/index.php"},
}};

}  // namespace

std::string percentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string informationPageFor(std::string_view name) {
    std::string_view selection;
    for (const auto& rule : kInformationPageRules) {
        if (name.find(rule.trigger) != std::string_view::npos) {
            selection = rule.page;
        }
    }
    if (selection.empty()) {
        return std::string(kSearchPrefix) + percentEncode(name);
    }
    return std::string(selection);
}

}  // namespace ostrivane
