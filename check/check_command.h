#pragma once

// One `ostrivane --check` run up to its result: the targets (standard input
// included), their addresses, the zones, and the lists' answers.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <variant>

#include "check/catalog_lists.h"
#include "check/target.h"
#include "mail/mail_dns.h"
#include "results/check_options.h"
#include "results/check_result.h"

namespace ostrivane {

// Why a run checked nothing: a usage failure, whatever the cause.
struct CheckFailure {
    std::string message;
    bool tooManyAddresses = false;  // the targets cover more than options.addressLimit
};

// Takes a run's results address by address, as soon as the lists have
// answered for the address (decoded by the catalog, with their via), long
// before the run ends.
class ResultStream {
  public:
    virtual ~ResultStream() = default;
    // Before the first address: when the run started.
    virtual void begin(EpochMs startedAt) = 0;
    // One address's results, zones in order. True: keep them in the run's
    // results; false: they are only counted (CheckRun::streamedTally).
    virtual bool take(std::vector<CheckResult>& results) = 0;
};

struct CheckEnvironment {
    std::istream& input;                    // read when a target is "-"
    std::ostream& problems;                 // problems that do not stop the run
    std::filesystem::path defaultListFile;  // the window's list file
    HostResolver resolveHost;  // empty: through c-ares, with the run's servers and time-out
    DnsRound mailDns =
        nullptr;  // mail targets' lookups; empty: through c-ares, with the run's servers
    const CatalogUse* catalog = nullptr;  // none: no decoding, the list file's zones by default
    ResultStream* stream = nullptr;       // none: every result is kept in the run
};

// Reads the targets, resolves the host names, takes the zones (--zone, ids of
// the catalog or zones; else --list; else the config file's lists; else the
// catalog's default set) and asks every list about every address; the
// catalog then decodes the answers. A bad target on standard input, too many
// addresses, a list file that cannot be read or no zone at all: a usage
// failure, nothing asked. With a stream, each address's results go to it as
// they come.
std::variant<CheckRun, CheckFailure> runCheck(const CheckOptions& options,
                                              const CheckEnvironment& environment);

}  // namespace ostrivane
