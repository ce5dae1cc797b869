#pragma once

// The status page's cells and what they are built from: the facts read once
// from a run (the lists' names and pages, the targets and via of each
// address, the counts), and each cell as HTML. Every value from outside is
// escaped for HTML and shown with its control characters as escapes.

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "history/history_store.h"
#include "results/check_result.h"

namespace ostrivane {

// What the page says of a value from outside (a list's name, a TXT record):
// markup escaped, and control characters and bidirectional overrides shown as
// escapes, as the text output shows them, so that no value reorders the text
// around it.
std::string pageText(std::string_view text);

// Everything the sections share, read from the run once.
struct PageFacts {
    std::map<std::string, std::string> nameOfZone;
    std::map<std::string, std::string> infoOfZone;  // the catalog's information pages
    std::map<std::pair<std::string, std::string>, const DayStrip*> stripOf;
    std::map<std::string, std::vector<std::string>> targetsOf;     // other than the address
    std::map<std::string, const std::vector<std::string>*> viaOf;  // of mail targets' subjects
    std::vector<std::string> addresses;                            // in the run's order
    std::set<std::string> shown;  // addresses with a listing or a cleared one
    std::size_t domainNames = 0;  // subjects that are names (of mail targets), not addresses
    bool domainShown = false;
    bool withHistory = false;
    std::size_t listed = 0;
    std::size_t fresh = 0;
    std::size_t cleared = 0;
};

PageFacts factsOf(const CheckRun& run, const RecentDays& recent);

// When the listing began and how long it has lasted (for a cleared one: when it was listed).
std::string sinceCell(const CheckResult& result, EpochMs now);

// A cell per day of `recent`, or "no history" without a strip.
std::string stripCell(const DayStrip* strip, const RecentDays& recent);

// The list's name linked to its information page, its zone beneath.
std::string listCell(const PageFacts& facts, const std::string& zone);

// The address, the targets that gave it, and how a mail target reached it.
std::string addressLabel(const PageFacts& facts, const std::string& address);

// The verdict in the window's colours, the answers with their meanings, and
// the change since the previous run.
std::string verdictCell(const CheckResult& result);

}  // namespace ostrivane
