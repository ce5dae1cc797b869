#pragma once

// The subjects of the mail targets (mx:, spf:, mail:) beside the others: their
// addresses join the run's, each once with every way it was reached; the
// names for the domain lists and what the expansion found are kept apart.

#include <optional>
#include <vector>

#include "check/target.h"
#include "mail/mail_domain.h"
#include "results/check_result.h"

namespace ostrivane {

struct MailSubjects {
    std::vector<DomainSubject> names;     // for the domain lists, each name once
    std::vector<TargetFinding> findings;  // target by target
};

// Expands the mail targets among `targets` through `round` and adds their
// addresses to `addresses` (an address already there gains the new ways it
// was reached). More than kMaxCheckAddresses addresses: the error.
std::variant<MailSubjects, TargetError> addMailSubjects(const std::vector<Target>& targets,
                                                        const DnsRound& round,
                                                        const SpfLimits& limits,
                                                        std::vector<CheckAddress>& addresses);

// The ways each result's address was reached, from the addresses of the run.
void attachVia(const std::vector<CheckAddress>& addresses, std::vector<CheckResult>& results);

}  // namespace ostrivane
