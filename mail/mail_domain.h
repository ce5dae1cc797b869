#pragma once

// What a mail domain owns, for the targets mx:DOMAIN (the addresses of its MX
// hosts), spf:DOMAIN (every address its SPF record authorises) and
// mail:DOMAIN (both, and the domain and its MX host names for the domain
// lists), each subject with the way it was reached.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mail_dns.h"
#include "mail/spf_evaluator.h"

namespace ostrivane {

enum class MailTargetKind { Mx, Spf, Mail };

struct MailTarget {
    MailTargetKind kind = MailTargetKind::Mail;
    std::string domain;  // lower case, no trailing dot
};

// "mx:example.org", "spf:example.org", "mail:example.org" (the prefix in any
// case); nothing for any other text or a prefix without a valid domain.
std::optional<MailTarget> parseMailTarget(std::string_view text);

// "mx:example.org" and so on, as parseMailTarget reads it.
std::string mailTargetText(const MailTarget& target);

// A name to ask the domain lists about, and how it was reached ("domain",
// "mx mx1.example.org").
struct ReachedName {
    std::string name;
    std::string via;
};

struct MailExpansion {
    MailTarget target;
    std::vector<ReachedBlock> blocks;     // MX hosts' addresses first, then SPF's
    std::vector<ReachedName> names;       // mail: only
    std::vector<std::string> notes;       // no MX, no SPF, what was not checked and why
    std::string permerror;                // the SPF record's, if any
    std::vector<std::string> unanswered;  // lookups without an answer: incomplete
};

// Expands every target, asking each round's questions of all of them at once.
// A lookup that never came back leaves its target incomplete (unanswered),
// never silently smaller; after maxRounds rounds what is still missing is
// unanswered too.
std::vector<MailExpansion> expandMailTargets(const std::vector<MailTarget>& targets,
                                             const DnsRound& round, const SpfLimits& limits,
                                             int maxRounds = 24);

// One address and every way it was reached, in the order first reached.
struct ReachedAddress {
    IpAddress address;
    std::vector<std::string> via;
};

// The blocks' addresses, each once; more than `most` addresses: nothing.
std::optional<std::vector<ReachedAddress>> reachedAddresses(const std::vector<ReachedBlock>& blocks,
                                                            std::size_t most);

}  // namespace ostrivane
