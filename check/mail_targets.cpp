#include "check/mail_targets.h"

#include <algorithm>
#include <map>

namespace ostrivane {

namespace {

void addOnce(std::vector<std::string>& list, const std::string& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

void addFindings(const MailExpansion& expansion, const std::string& target,
                 std::vector<TargetFinding>& findings) {
    for (const auto& note : expansion.notes) {
        findings.push_back({target, FindingKind::Note, note});
    }
    if (!expansion.permerror.empty()) {
        findings.push_back(
            {target, FindingKind::PermError, "SPF permerror: " + expansion.permerror});
    }
    for (const auto& lookup : expansion.unanswered) {
        findings.push_back({target, FindingKind::Incomplete, lookup});
    }
}

void addNames(const MailExpansion& expansion, const std::string& target,
              std::vector<DomainSubject>& names) {
    for (const auto& reached : expansion.names) {
        auto found = std::find_if(names.begin(), names.end(), [&](const DomainSubject& subject) {
            return subject.name == reached.name;
        });
        if (found == names.end()) {
            names.push_back({target, reached.name, {reached.via}});
        } else {
            addOnce(found->via, reached.via);
        }
    }
}

}  // namespace

std::variant<MailSubjects, TargetError> addMailSubjects(const std::vector<Target>& targets,
                                                        const DnsRound& round,
                                                        const SpfLimits& limits,
                                                        std::vector<CheckAddress>& addresses) {
    std::vector<MailTarget> mail;
    std::vector<std::string> texts;
    for (const auto& target : targets) {
        if (const auto* domain = std::get_if<MailTarget>(&target.what)) {
            mail.push_back(*domain);
            texts.push_back(target.text);
        }
    }
    MailSubjects subjects;
    if (mail.empty()) {
        return subjects;
    }
    std::map<IpAddress, std::size_t> index;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        index.emplace(addresses[i].address, i);
    }
    const auto expansions = expandMailTargets(mail, round, limits);
    for (std::size_t t = 0; t < expansions.size(); ++t) {
        const auto reached = reachedAddresses(expansions[t].blocks, kMaxCheckAddresses);
        if (!reached) {
            return TargetError{texts[t], "more than " + std::to_string(kMaxCheckAddresses) +
                                             " addresses in one run"};
        }
        for (const auto& address : *reached) {
            const auto [at, added] = index.try_emplace(address.address, addresses.size());
            if (added) {
                addresses.push_back({texts[t], address.address, {}});
            }
            for (const auto& via : address.via) {
                addOnce(addresses[at->second].via, via);
            }
        }
        if (addresses.size() > kMaxCheckAddresses) {
            return TargetError{texts[t], "more than " + std::to_string(kMaxCheckAddresses) +
                                             " addresses in one run"};
        }
        addNames(expansions[t], texts[t], subjects.names);
        addFindings(expansions[t], texts[t], subjects.findings);
    }
    return subjects;
}

void attachVia(const std::vector<CheckAddress>& addresses, std::vector<CheckResult>& results) {
    std::map<std::string, const std::vector<std::string>*> viaOf;
    for (const auto& address : addresses) {
        if (!address.via.empty()) {
            viaOf.emplace(formatIpAddress(address.address), &address.via);
        }
    }
    if (viaOf.empty()) {
        return;
    }
    for (auto& result : results) {
        if (const auto found = viaOf.find(result.address); found != viaOf.end()) {
            result.via = *found->second;
        }
    }
}

}  // namespace ostrivane
