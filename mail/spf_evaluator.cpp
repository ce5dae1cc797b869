#include "mail/spf_evaluator.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "mail/spf_record.h"

namespace ostrivane {

namespace {

bool isVoid(const DnsAnswer& answer) {
    return answer.outcome == DnsOutcome::NoName || answer.outcome == DnsOutcome::NoData ||
           (answer.outcome == DnsOutcome::Answered && answer.addresses.empty() &&
            answer.mx.empty() && answer.texts.empty());
}

bool isUnanswered(const DnsAnswer& answer) {
    return answer.outcome == DnsOutcome::TimedOut || answer.outcome == DnsOutcome::Failed;
}

std::string unansweredText(const DnsQuestion& question, const DnsAnswer& answer) {
    return std::string(dnsTypeText(question.type)) + " " + question.name + ": " +
           (answer.outcome == DnsOutcome::TimedOut ? "no answer in time" : "the lookup failed");
}

std::string withCommas(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

void clearHostBits(IpAddress& address, int prefix) {
    const int bits = address.family == IpAddress::Family::V4 ? 32 : 128;
    for (int bit = prefix; bit < bits; ++bit) {
        address.bytes[static_cast<std::size_t>(bit / 8)] &=
            static_cast<std::uint8_t>(~(0x80U >> (bit % 8)));
    }
}

// Where a term stands: the via of its record and the term, as the output names it.
struct Path {
    std::string via;
    bool authorising = true;
};

class SpfWalk {
  public:
    SpfWalk(DnsAnswerBook& book, const SpfLimits& limits) : m_book(book), m_limits(limits) {}

    SpfExpansion run(const std::string& domain) {
        if (auto record = fetchRecord(domain, nullptr)) {
            m_result.hasRecord = true;
            walkRecord(domain, *record, Path{"spf", true});
        }
        auto& unanswered = m_result.unanswered;
        std::sort(unanswered.begin(), unanswered.end());
        unanswered.erase(std::unique(unanswered.begin(), unanswered.end()), unanswered.end());
        return std::move(m_result);
    }

  private:
    bool stopped() const { return !m_result.permerror.empty(); }

    void permerror(std::string reason) {
        if (!stopped()) {
            m_result.permerror = std::move(reason);
        }
    }

    void note(const Path& path, std::string text) {
        if (path.authorising) {
            m_result.notes.push_back(std::move(text));
        }
    }

    // The answer, or nothing while it is pending or when it did not come (noted).
    const DnsAnswer* answer(const std::string& name, DnsType type) {
        const DnsQuestion question{name, type};
        const DnsAnswer* found = m_book.find(question);
        if (found != nullptr && isUnanswered(*found)) {
            m_result.unanswered.push_back(unansweredText(question, *found));
            return nullptr;
        }
        return found;
    }

    // The domain's one SPF record. `cause` is the include: or redirect= that
    // asked for it; there a missing record is the permerror and a void lookup.
    std::optional<SpfRecord> fetchRecord(const std::string& domain, const std::string* cause);

    void walkRecord(const std::string& domain, const SpfRecord& record, const Path& path);
    void walkTerm(const SpfTerm& term, const std::string& domain, const Path& path);
    void countVoid(const std::string& where) {
        if (++m_result.voidLookups > kSpfVoidLookupLimit) {
            permerror("more than " + std::to_string(kSpfVoidLookupLimit) +
                      " void lookups (the last at " + where + ")");
        }
    }
    void lookupHost(const SpfTerm& term, const std::string& domain, const Path& path);
    void lookupMx(const SpfTerm& term, const std::string& domain, const Path& path);
    void addAddresses(const std::string& host, const SpfTerm& term, const std::string& via,
                      const Path& path);
    void follow(const SpfTerm& term, const Path& path);
    void addBlock(IpAddress first, int prefix, const std::string& via, const Path& path);

    DnsAnswerBook& m_book;
    const SpfLimits& m_limits;
    SpfExpansion m_result;
    std::vector<std::string> m_chain;  // the domains being walked, outermost first
};

std::optional<SpfRecord> SpfWalk::fetchRecord(const std::string& domain, const std::string* cause) {
    const DnsAnswer* txt = answer(domain, DnsType::TXT);
    if (txt == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> records;
    std::copy_if(txt->texts.begin(), txt->texts.end(), std::back_inserter(records),
                 [](const std::string& text) { return isSpfRecord(text); });
    if (records.size() > 1) {
        permerror(domain + " publishes more than one SPF record");
        return std::nullopt;
    }
    if (records.empty()) {
        if (cause != nullptr) {
            if (isVoid(*txt)) {
                countVoid(*cause);
            }
            permerror(*cause + ": " + domain + " publishes no SPF record");
        }
        return std::nullopt;
    }
    auto parsed = parseSpfRecord(records.front());
    if (const auto* error = std::get_if<SpfSyntaxError>(&parsed)) {
        permerror("the SPF record of " + domain + " is not valid: " + error->reason);
        return std::nullopt;
    }
    return std::get<SpfRecord>(std::move(parsed));
}

void SpfWalk::walkRecord(const std::string& domain, const SpfRecord& record, const Path& path) {
    m_chain.push_back(domain);
    bool sawAll = false;
    for (const auto& term : record.mechanisms) {
        if (stopped()) {
            break;
        }
        if (term.kind == SpfKind::All) {
            sawAll = true;
            break;  // what follows "all" is never evaluated, and redirect= is ignored
        }
        walkTerm(term, domain, path);
    }
    if (!sawAll && !stopped() && !record.redirect.empty()) {
        walkTerm(record.redirect.front(), domain, path);
    }
    m_chain.pop_back();
}

void SpfWalk::walkTerm(const SpfTerm& term, const std::string& domain, const Path& path) {
    const std::string where = path.via + " " + term.text;
    if (term.causesLookup() && ++m_result.lookupTerms > kSpfLookupLimit) {
        permerror("more than " + std::to_string(kSpfLookupLimit) +
                  " terms that cause DNS lookups (the 11th is " + where + ")");
        return;
    }
    const Path inner{path.via, path.authorising && term.qualifier == '+'};
    if (term.qualifier != '+' && term.kind != SpfKind::Ptr && term.kind != SpfKind::Exists) {
        note(path, where + ": not checked: its qualifier \"" + std::string(1, term.qualifier) +
                       "\" does not authorise");
    }
    if (term.macro) {
        note(inner, where + ": not checked: a macro names no fixed addresses");
        return;
    }
    switch (term.kind) {
        case SpfKind::Ip4:
            return addBlock(term.address, term.prefix4, where, inner);
        case SpfKind::Ip6:
            return addBlock(term.address, term.prefix6, where, inner);
        case SpfKind::A:
            return lookupHost(term, domain, inner);
        case SpfKind::Mx:
            return lookupMx(term, domain, inner);
        case SpfKind::Include:
        case SpfKind::Redirect:
            return follow(term, Path{where, inner.authorising});
        default:  // ptr, exists:
            note(path, where + ": not checked: it names no fixed addresses");
            return;
    }
}

void SpfWalk::lookupHost(const SpfTerm& term, const std::string& domain, const Path& path) {
    const std::string host = term.domain.empty() ? domain : term.domain;
    const std::string via = path.via + " " + term.text + (term.domain.empty() ? " " + host : "");
    const DnsAnswer* v4 = answer(host, DnsType::A);
    const DnsAnswer* v6 = answer(host, DnsType::AAAA);
    if (v4 != nullptr && v6 != nullptr && isVoid(*v4) && isVoid(*v6)) {
        countVoid(via);
        return;
    }
    addAddresses(host, term, via, path);
}

void SpfWalk::addAddresses(const std::string& host, const SpfTerm& term, const std::string& via,
                           const Path& path) {
    for (const auto type : {DnsType::A, DnsType::AAAA}) {
        const DnsAnswer* found = answer(host, type);
        if (found == nullptr) {
            continue;
        }
        for (const auto& address : found->addresses) {
            const bool v4 = address.family == IpAddress::Family::V4;
            addBlock(address, v4 ? term.prefix4 : term.prefix6, via, path);
        }
    }
}

void SpfWalk::lookupMx(const SpfTerm& term, const std::string& domain, const Path& path) {
    const std::string target = term.domain.empty() ? domain : term.domain;
    const std::string where = path.via + " " + term.text;
    const DnsAnswer* mx = answer(target, DnsType::MX);
    if (mx == nullptr) {
        return;
    }
    if (isVoid(*mx)) {
        countVoid(where);
        return;
    }
    if (mx->mx.size() > static_cast<std::size_t>(kSpfMxHostLimit)) {
        permerror(where + ": more than " + std::to_string(kSpfMxHostLimit) + " MX hosts (" +
                  std::to_string(mx->mx.size()) + ")");
        return;
    }
    for (const auto& host : mx->mx) {
        if (host.host.empty()) {
            note(path, where + ": " + target + " accepts no mail (null MX)");
            continue;
        }
        addAddresses(host.host, term, where + " " + host.host, path);
    }
}

void SpfWalk::follow(const SpfTerm& term, const Path& path) {
    if (std::find(m_chain.begin(), m_chain.end(), term.domain) != m_chain.end()) {
        std::string loop;
        for (const auto& domain : m_chain) {
            loop += domain + " -> ";
        }
        permerror("an include loop: " + loop + term.domain);
        return;
    }
    if (auto record = fetchRecord(term.domain, &path.via)) {
        walkRecord(term.domain, *record, path);
    }
}

void SpfWalk::addBlock(IpAddress first, int prefix, const std::string& via, const Path& path) {
    if (!path.authorising) {
        return;
    }
    const bool v4 = first.family == IpAddress::Family::V4;
    const int widest = v4 ? m_limits.widestIPv4Prefix : m_limits.widestIPv6Prefix;
    clearHostBits(first, prefix);
    if (prefix < widest) {
        m_result.notes.push_back(via + ": " + formatIpAddress(first) + "/" +
                                 std::to_string(prefix) +
                                 " not checked: " + blockSizeText(first.family, prefix) +
                                 ", wider than the /" + std::to_string(widest) + " limit");
        return;
    }
    m_result.blocks.push_back(ReachedBlock{first, prefix, via});
}

}  // namespace

SpfExpansion walkSpf(const std::string& domain, DnsAnswerBook& book, const SpfLimits& limits) {
    return SpfWalk(book, limits).run(domain);
}

std::string blockSizeText(IpAddress::Family family, int prefix) {
    const int total = family == IpAddress::Family::V4 ? 32 : 128;
    const int bits = total - std::clamp(prefix, 0, total);
    if (bits == 0) {
        return "1 address";
    }
    if (bits >= 64) {
        return "2^" + std::to_string(bits) + " addresses";
    }
    return withCommas(std::uint64_t{1} << bits) + " addresses";
}

}  // namespace ostrivane
