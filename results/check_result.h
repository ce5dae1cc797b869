#pragma once

// What one `ostrivane --check` run found: the zones it asked, one result per
// address and zone, and the targets it could not resolve. The engine fills it,
// the history store reads and annotates it, the output formats print it. Plain
// values only, so that nothing here needs c-ares or SQLite.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/zone_health.h"

namespace ostrivane {

enum class CheckVerdict {
    Listed,      // an answer in 127.0.0.0/8 outside 127.255.255.0/24, zone healthy
    NotListed,   // NXDOMAIN (or no A record), zone healthy
    NoAnswer,    // time-out, SERVFAIL, REFUSED
    ListError,   // 127.255.255.0/24, or an answer outside 127.0.0.0/8
    BrokenZone,  // the zone lists everything, is empty or dead: its verdicts mean nothing
    NotCovered,  // the zone works for the other address family only
};

// "listed", "not-listed", "no-answer", "list-error", "broken-zone", "not-covered".
std::string_view checkVerdictText(CheckVerdict verdict);

// How a result compares with the previous run that checked the same address
// against the same zone; set only where a history store was consulted.
enum class ListingChange {
    New,      // listed now, not listed at the previous run
    Ongoing,  // listed now and at the previous run
    Cleared,  // listed at the previous run, not now
};

// "new", "ongoing", "cleared".
std::string_view listingChangeText(ListingChange change);

struct CheckedZone {
    std::string zone;  // as shown: a zone asked with a key is shown without it
    std::string name;  // the list's name (list file or catalog); empty for --zone
    ZoneHealth health = ZoneHealth::EmptyOrDead;  // healthy when it works for either family
    // Each family judged by its own test points (RFC 5782): 127.0.0.2 and
    // 127.0.0.1 for IPv4, ::FFFF:7F00:2 and ::FFFF:7F00:1 for IPv6.
    ZoneHealth ipv4 = ZoneHealth::EmptyOrDead;
    ZoneHealth ipv6 = ZoneHealth::EmptyOrDead;
    bool domainList = false;  // asked about domain names (RHSBL), not addresses
    // The A answers for the listed test points (127.0.0.2, ::FFFF:7F00:2),
    // dotted: a refusing list's error code shows there.
    std::vector<std::string> testAnswers{};
    // The list's information page from the catalog; empty for a list not in it.
    std::string info{};
};

// What an answer means, from the catalog: "listing", "policy-listing" or
// "list-error", and the list's own words (empty when it has none for the code).
struct AnswerMeaning {
    std::string answerClass;
    std::string meaning;
};

struct CheckResult {
    std::string target;   // as the user gave it (host name, address, block, or "-" line)
    std::string address;  // canonical text: dotted quad, or RFC 5952 IPv6
    std::string zone;
    CheckVerdict verdict = CheckVerdict::NoAnswer;
    std::vector<std::string> answers;  // the A answers, dotted, in answer order
    std::string reason;                // the TXT record(s) of a listing, joined by "; "
    std::optional<ListingChange> change;
    std::optional<EpochMs> since;  // start of the current listing streak
    // How a mail target reached the subject ("mx mx1.example.org", "spf
    // include:_spf.example.net ip4:192.0.2.0/24", "domain"); empty otherwise.
    std::vector<std::string> via{};
    // Beside each answer, from the catalog; empty for a list not in the catalog.
    std::vector<AnswerMeaning> meanings{};
};

// What a mail target's expansion found besides its subjects.
enum class FindingKind {
    Note,        // no MX, no SPF, a term or block not checked and why: not a fault
    PermError,   // the SPF record cannot be evaluated to the end: the check is incomplete
    Incomplete,  // a lookup got no answer: the check is incomplete
};

struct TargetFinding {
    std::string target;  // "mail:example.org"
    FindingKind kind = FindingKind::Note;
    std::string text;
};

// "note", "permerror", "incomplete".
std::string_view findingKindText(FindingKind kind);

// The run's results counted by verdict, and its addresses.
struct CheckCounts {
    std::size_t listed = 0;
    std::size_t notListed = 0;
    std::size_t noAnswer = 0;
    std::size_t listError = 0;
    std::size_t brokenZone = 0;
    std::size_t notCovered = 0;
    std::size_t uncoveredAddresses = 0;  // addresses that no working zone of the run covers
    std::size_t addresses = 0;
    std::size_t newListings = 0;
    std::size_t cleared = 0;  // listed at the previous run, not now
    std::size_t results = 0;

    std::size_t faultyTargets = 0;  // mail targets with an SPF permerror or a lookup unanswered

    std::size_t incomplete() const {
        return noAnswer + listError + brokenZone + uncoveredAddresses + faultyTargets;
    }
};

// What the summary, the exit status and the nagios line need of the results
// a run streamed address by address without keeping them.
struct ResultTally {
    CheckCounts counts;  // its faultyTargets stay 0: findings are the run's
    // The first few addresses that no working zone covers, in order.
    std::vector<std::string> uncovered;
    static constexpr std::size_t kUncoveredKept = 16;

    // One address's results, zones in order.
    void add(const std::vector<CheckResult>& addressResults);
};

struct CheckRun {
    EpochMs startedAt = 0;
    std::int64_t durationMs = 0;
    std::vector<CheckedZone> zones;    // in the order asked
    std::vector<CheckResult> results;  // address by address, zones in order
    std::vector<std::string> unresolvedTargets;
    std::vector<std::string> unansweredTargets;  // host names whose lookup got no answer
    std::vector<TargetFinding> findings;         // of mail targets, target by target
    // Said once per list and run: a list refuses public resolvers, or looks dead.
    std::vector<std::string> notices;
    // The results streamed and not kept in `results`; countsOf adds them.
    ResultTally streamedTally{};
};

CheckCounts countsOf(const CheckRun& run);

// The addresses for which every zone said not-covered: no working zone of the
// run covers their family, so nothing was learnt of them. Of the results
// streamed, only the first few (ResultTally::uncovered); countsOf counts all.
std::vector<std::string> uncoveredAddressesOf(const CheckRun& run);

// Calls `each` with every address's results in `results` (consecutive
// results of one address), in order.
template <typename Each>
void forEachAddress(const std::vector<CheckResult>& results, Each&& each) {
    for (std::size_t first = 0; first < results.size();) {
        std::size_t end = first + 1;
        while (end < results.size() && results[end].address == results[first].address) {
            ++end;
        }
        each(first, end);
        first = end;
    }
}

}  // namespace ostrivane
