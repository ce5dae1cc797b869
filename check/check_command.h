#pragma once

// One `ostrivane --check` run up to its result: the targets (standard input
// included), their addresses, the zones, and the lists' answers.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <variant>

#include "check/catalog_lists.h"
#include "check/check_options.h"
#include "check/check_result.h"
#include "check/target.h"
#include "mail/mail_dns.h"

namespace ostrivane {

// Why a run checked nothing: a usage failure, whatever the cause.
struct CheckFailure {
    std::string message;
    bool tooManyAddresses = false;  // the targets cover more than options.addressLimit
};

struct CheckEnvironment {
    std::istream& input;                    // read when a target is "-"
    std::ostream& warnings;                 // problems that do not stop the run
    std::filesystem::path defaultListFile;  // the window's list file
    HostResolver resolveHost;  // empty: through c-ares, with the run's servers and time-out
    DnsRound mailDns =
        nullptr;  // mail targets' lookups; empty: through c-ares, with the run's servers
    const CatalogUse* catalog = nullptr;  // none: no decoding, the list file's zones by default
};

// Reads the targets, resolves the host names, takes the zones (--zone, ids of
// the catalog or zones; else --list; else the config file's lists; else the
// catalog's default set) and asks every list about every address; the
// catalog then decodes the answers. A bad target on standard input, too many
// addresses, a list file that cannot be read or no zone at all: a usage
// failure, nothing asked.
std::variant<CheckRun, CheckFailure> runCheck(const CheckOptions& options,
                                              const CheckEnvironment& environment);

}  // namespace ostrivane
