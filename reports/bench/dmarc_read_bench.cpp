// Reads DMARC reports from the paths given and says what it took, how long it
// took and the peak memory: the reader's share of an import's time and memory
// bound (make_dmarc_corpus.py writes a corpus to read).
//   dmarc_read_bench PATH...

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "reports/dmarc_reader.h"

int main(int argc, char** argv) {
    using namespace ostrivane;
    std::vector<std::filesystem::path> paths(argv + 1, argv + argc);
    std::uint64_t shown = 0;
    const DmarcSink sink{[](const DmarcReport&, const ReportOrigin&) {},
                         [&](const ReportProblem& problem) {
                             if (shown++ < 20) {
                                 std::cerr << problem.message() << '\n';
                             }
                         }};
    const auto start = std::chrono::steady_clock::now();
    const DmarcReadTally tally = readDmarcReports(paths, sink);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "files %llu, mails %llu, reports %llu, records %llu, messages %llu; skipped: files %llu, "
        "reports %llu, records %llu\n%.2f s, peak resident memory %ld KiB\n",
        static_cast<unsigned long long>(tally.files), static_cast<unsigned long long>(tally.mails),
        static_cast<unsigned long long>(tally.reports),
        static_cast<unsigned long long>(tally.records),
        static_cast<unsigned long long>(tally.messages),
        static_cast<unsigned long long>(tally.skippedFiles),
        static_cast<unsigned long long>(tally.skippedReports),
        static_cast<unsigned long long>(tally.skippedRecords), elapsed.count(), usage.ru_maxrss);
    return tally.skippedReports + tally.skippedRecords == 0 ? 0 : 4;
}
