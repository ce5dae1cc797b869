#include "mail/mail_domain.h"

#include <algorithm>
#include <map>

#include "core/address.h"

namespace ostrivane {

namespace {

struct KindName {
    std::string_view prefix;
    MailTargetKind kind;
};

constexpr KindName kKinds[] = {
    {"mx:", MailTargetKind::Mx}, {"spf:", MailTargetKind::Spf}, {"mail:", MailTargetKind::Mail}};

bool isUnanswered(const DnsAnswer& answer) {
    return answer.outcome == DnsOutcome::TimedOut || answer.outcome == DnsOutcome::Failed;
}

std::string unansweredText(DnsType type, const std::string& name, const DnsAnswer& answer) {
    return std::string(dnsTypeText(type)) + " " + name + ": " +
           (answer.outcome == DnsOutcome::TimedOut ? "no answer in time" : "the lookup failed");
}

// The addresses of one MX host; nothing while they are pending.
void addMxHost(const std::string& host, DnsAnswerBook& book, MailExpansion& out) {
    bool any = false;
    bool known = true;
    for (const auto type : {DnsType::A, DnsType::AAAA}) {
        const DnsAnswer* found = book.find({host, type});
        if (found == nullptr) {
            known = false;
            continue;
        }
        if (isUnanswered(*found)) {
            out.unanswered.push_back(unansweredText(type, host, *found));
            known = false;
        }
        for (const auto& address : found->addresses) {
            const int prefix = address.family == IpAddress::Family::V4 ? 32 : 128;
            out.blocks.push_back(ReachedBlock{address, prefix, "mx " + host});
            any = true;
        }
    }
    if (known && !any) {
        out.notes.push_back("MX host " + host + " has no address");
    }
}

void walkMx(const std::string& domain, DnsAnswerBook& book, MailExpansion& out) {
    const DnsAnswer* mx = book.find({domain, DnsType::MX});
    if (mx == nullptr) {
        return;
    }
    if (isUnanswered(*mx)) {
        out.unanswered.push_back(unansweredText(DnsType::MX, domain, *mx));
        return;
    }
    if (mx->mx.empty()) {
        out.notes.push_back(domain + " has no MX record");
        return;
    }
    auto hosts = mx->mx;
    std::stable_sort(hosts.begin(), hosts.end(),
                     [](const MxHost& a, const MxHost& b) { return a.preference < b.preference; });
    for (const auto& host : hosts) {
        if (host.host.empty()) {
            out.notes.push_back(domain + " accepts no mail (null MX)");
            continue;
        }
        if (out.target.kind == MailTargetKind::Mail) {
            out.names.push_back(ReachedName{host.host, "mx " + host.host});
        }
        addMxHost(host.host, book, out);
    }
}

void walkSpfOf(const std::string& domain, DnsAnswerBook& book, const SpfLimits& limits,
               MailExpansion& out) {
    auto spf = walkSpf(domain, book, limits);
    if (!spf.hasRecord && spf.permerror.empty() && spf.unanswered.empty()) {
        out.notes.push_back(domain + " publishes no SPF record");
    }
    out.blocks.insert(out.blocks.end(), spf.blocks.begin(), spf.blocks.end());
    out.notes.insert(out.notes.end(), spf.notes.begin(), spf.notes.end());
    out.unanswered.insert(out.unanswered.end(), spf.unanswered.begin(), spf.unanswered.end());
    out.permerror = std::move(spf.permerror);
}

MailExpansion walkTarget(const MailTarget& target, DnsAnswerBook& book, const SpfLimits& limits) {
    MailExpansion out;
    out.target = target;
    if (target.kind == MailTargetKind::Mail) {
        out.names.push_back(ReachedName{target.domain, "domain"});
    }
    if (target.kind != MailTargetKind::Spf) {
        walkMx(target.domain, book, out);
    }
    if (target.kind != MailTargetKind::Mx) {
        walkSpfOf(target.domain, book, limits, out);
    }
    return out;
}

}  // namespace

std::optional<MailTarget> parseMailTarget(std::string_view text) {
    for (const auto& kind : kKinds) {
        if (text.size() > kind.prefix.size() &&
            normalDomainName(text.substr(0, kind.prefix.size())) == kind.prefix) {
            auto domain = normalDomainName(text.substr(kind.prefix.size()));
            if (!isHostName(domain)) {
                return std::nullopt;
            }
            return MailTarget{kind.kind, std::move(domain)};
        }
    }
    return std::nullopt;
}

std::string mailTargetText(const MailTarget& target) {
    for (const auto& kind : kKinds) {
        if (kind.kind == target.kind) {
            return std::string(kind.prefix) + target.domain;
        }
    }
    return target.domain;
}

std::vector<MailExpansion> expandMailTargets(const std::vector<MailTarget>& targets,
                                             const DnsRound& round, const SpfLimits& limits,
                                             int maxRounds) {
    DnsAnswerBook book;
    std::vector<MailExpansion> expansions;
    for (int rounds = 0;; ++rounds) {
        expansions.clear();
        for (const auto& target : targets) {
            expansions.push_back(walkTarget(target, book, limits));
        }
        if (rounds >= maxRounds || !book.askWanted(round)) {
            break;
        }
    }
    if (book.wantsMore()) {
        for (auto& expansion : expansions) {
            expansion.unanswered.push_back("lookups still open after " + std::to_string(maxRounds) +
                                           " rounds");
        }
    }
    for (auto& expansion : expansions) {
        auto& unanswered = expansion.unanswered;
        std::sort(unanswered.begin(), unanswered.end());
        unanswered.erase(std::unique(unanswered.begin(), unanswered.end()), unanswered.end());
    }
    return expansions;
}

std::optional<std::vector<ReachedAddress>> reachedAddresses(const std::vector<ReachedBlock>& blocks,
                                                            std::size_t most) {
    std::vector<ReachedAddress> addresses;
    std::map<IpAddress, std::size_t> index;
    for (const auto& reached : blocks) {
        const bool v4 = reached.first.family == IpAddress::Family::V4;
        const int hostBits = (v4 ? 32 : 128) - reached.prefix;
        if (hostBits > 63) {
            return std::nullopt;
        }
        IpAddress address = reached.first;
        for (std::uint64_t n = 0; n < (std::uint64_t{1} << hostBits); ++n) {
            const auto [at, added] = index.try_emplace(address, addresses.size());
            if (added) {
                if (addresses.size() == most) {
                    return std::nullopt;
                }
                addresses.push_back(ReachedAddress{address, {}});
            }
            auto& via = addresses[at->second].via;
            if (std::find(via.begin(), via.end(), reached.via) == via.end()) {
                via.push_back(reached.via);
            }
            for (auto byte = static_cast<int>(v4 ? 3 : 15); byte >= 0; --byte) {
                if (++address.bytes[static_cast<std::size_t>(byte)] != 0) {
                    break;
                }
            }
        }
    }
    return addresses;
}

}  // namespace ostrivane
