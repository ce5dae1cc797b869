#include "mail/spf_record.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace ostrivane {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

std::optional<int> prefixNumber(std::string_view digits, int longest) {
    int value = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() ||
        value < 0 || value > longest) {
        return std::nullopt;
    }
    return value;
}

// "/24", "//64", "/24//64" or nothing, after a and mx.
bool readDualCidr(std::string_view cidr, SpfTerm& term) {
    if (cidr.empty()) {
        return true;
    }
    const auto v6 = cidr.find("//");
    if (v6 != cidr.npos) {
        const auto length = prefixNumber(cidr.substr(v6 + 2), 128);
        if (!length) {
            return false;
        }
        term.prefix6 = *length;
        cidr = cidr.substr(0, v6);
        if (cidr.empty()) {
            return true;
        }
    }
    if (cidr.front() != '/') {
        return false;
    }
    const auto length = prefixNumber(cidr.substr(1), 32);
    if (!length) {
        return false;
    }
    term.prefix4 = *length;
    return true;
}

bool isDomainSpec(std::string_view domain) {
    return !domain.empty() && domain.size() <= 253 && domain.find_first_of(" \t") == domain.npos;
}

// "a", "mx", "ptr": an optional ":domain", then (not ptr) an optional dual cidr.
bool readHostTerm(std::string_view termText, SpfTerm& term) {
    std::string_view cidr = termText;
    if (!termText.empty() && termText.front() == ':') {
        const auto slash = termText.find('/');
        term.domain = lower(termText.substr(1, slash == termText.npos ? termText.npos : slash - 1));
        cidr = slash == termText.npos ? std::string_view() : termText.substr(slash);
        if (!isDomainSpec(term.domain)) {
            return false;
        }
    }
    if (term.kind == SpfKind::Ptr) {
        return cidr.empty();
    }
    return readDualCidr(cidr, term);
}

bool readIpTerm(std::string_view termText, SpfTerm& term) {
    if (termText.empty() || termText.front() != ':') {
        return false;
    }
    termText.remove_prefix(1);
    const bool v4 = term.kind == SpfKind::Ip4;
    const auto slash = termText.find('/');
    const auto address = parseIpAddress(termText.substr(0, slash));
    if (!address || (address->family == IpAddress::Family::V4) != v4) {
        return false;
    }
    term.address = *address;
    if (slash == termText.npos) {
        return true;
    }
    const auto length = prefixNumber(termText.substr(slash + 1), v4 ? 32 : 128);
    if (!length) {
        return false;
    }
    (v4 ? term.prefix4 : term.prefix6) = *length;
    return true;
}

bool readDomainTerm(std::string_view termText, char separator, SpfTerm& term) {
    if (termText.empty() || termText.front() != separator) {
        return false;
    }
    term.domain = lower(termText.substr(1));
    return isDomainSpec(term.domain);
}

struct Mechanism {
    std::string_view name;
    SpfKind kind;
};

constexpr Mechanism kMechanisms[] = {
    {"all", SpfKind::All}, {"include", SpfKind::Include}, {"a", SpfKind::A},
    {"mx", SpfKind::Mx},   {"ptr", SpfKind::Ptr},         {"ip4", SpfKind::Ip4},
    {"ip6", SpfKind::Ip6}, {"exists", SpfKind::Exists},
};

bool readMechanism(std::string_view body, SpfTerm& term) {
    const auto nameEnd = body.find_first_of(":/");
    const std::string name = lower(body.substr(0, nameEnd));
    const auto termText = nameEnd == body.npos ? std::string_view() : body.substr(nameEnd);
    const auto* found = std::find_if(std::begin(kMechanisms), std::end(kMechanisms),
                                     [&](const Mechanism& m) { return m.name == name; });
    if (found == std::end(kMechanisms)) {
        return false;
    }
    term.kind = found->kind;
    switch (term.kind) {
        case SpfKind::All:
            return termText.empty();
        case SpfKind::Include:
        case SpfKind::Exists:
            return readDomainTerm(termText, ':', term);
        case SpfKind::Ip4:
        case SpfKind::Ip6:
            return readIpTerm(termText, term);
        default:
            return readHostTerm(termText, term);
    }
}

bool isModifierName(std::string_view name) {
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name.front()))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    });
}

// A modifier: redirect= is kept, other well-formed ones are passed over.
std::optional<std::string> readModifier(std::string_view text, std::size_t equals,
                                        SpfRecord& record) {
    const std::string name = lower(text.substr(0, equals));
    if (!isModifierName(name)) {
        return "\"" + std::string(text) + "\" is not a valid term";
    }
    if (name != "redirect") {
        return std::nullopt;
    }
    if (!record.redirect.empty()) {
        return std::string("more than one redirect= modifier");
    }
    SpfTerm term;
    term.text = std::string(text);
    term.kind = SpfKind::Redirect;
    if (!readDomainTerm(text.substr(equals), '=', term)) {
        return "\"" + std::string(text) + "\" names no domain";
    }
    term.macro = term.domain.find('%') != std::string::npos;
    record.redirect.push_back(std::move(term));
    return std::nullopt;
}

std::optional<std::string> readTerm(std::string_view text, SpfRecord& record) {
    const auto equals = text.find('=');
    if (equals != text.npos && equals < text.find_first_of(":/")) {
        return readModifier(text, equals, record);
    }
    SpfTerm term;
    term.text = std::string(text);
    std::string_view body = text;
    if (std::string_view("+-~?").find(body.front()) != std::string_view::npos) {
        term.qualifier = body.front();
        body.remove_prefix(1);
    }
    if (body.empty() || !readMechanism(body, term)) {
        return "\"" + std::string(text) + "\" is not a valid term";
    }
    term.macro = term.domain.find('%') != std::string::npos;
    record.mechanisms.push_back(std::move(term));
    return std::nullopt;
}

}  // namespace

bool SpfTerm::causesLookup() const {
    switch (kind) {
        case SpfKind::Include:
        case SpfKind::A:
        case SpfKind::Mx:
        case SpfKind::Ptr:
        case SpfKind::Exists:
        case SpfKind::Redirect:
            return true;
        default:
            return false;
    }
}

bool isSpfRecord(std::string_view text) {
    constexpr std::string_view version = "v=spf1";
    return text.size() >= version.size() && lower(text.substr(0, version.size())) == version &&
           (text.size() == version.size() || text[version.size()] == ' ');
}

std::variant<SpfRecord, SpfSyntaxError> parseSpfRecord(std::string_view text) {
    SpfRecord record;
    std::size_t start = 6;  // after "v=spf1"
    while (start < text.size()) {
        if (text[start] == ' ') {
            ++start;
            continue;
        }
        const auto end = std::min(text.find(' ', start), text.size());
        if (auto error = readTerm(text.substr(start, end - start), record)) {
            return SpfSyntaxError{std::move(*error)};
        }
        start = end;
    }
    return record;
}

}  // namespace ostrivane
