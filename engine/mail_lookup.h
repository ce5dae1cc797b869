#pragma once

// The mail library's rounds of questions (MX, TXT, A, AAAA), asked through
// the check's batch lookup: each round at once, within the run's time-out.

#include "engine/name_lookup.h"
#include "mail/mail_dns.h"

namespace ostrivane {

DnsRound mailDnsRound(LookupSettings settings);

}  // namespace ostrivane
