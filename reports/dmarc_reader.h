#pragma once

// Reading DMARC aggregate reports from files and folders as receivers send
// them: bare XML, gzip, zip (one XML inside), and mail holding them as
// attachments (a Maildir, an mbox, single messages; base64 or
// quoted-printable). Forms are told from the bytes, not the names. Each
// report goes to the sink as soon as it is read and is not kept; each file,
// message, attachment or record that cannot be read goes to the sink as a
// problem with its place and reason, and the rest is read on.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "reports/dmarc_report.h"
#include "reports/read_limits.h"
#include "reports/report_problem.h"

namespace ostrivane {

struct DmarcSink {
    std::function<void(const DmarcReport& report, const ReportOrigin& origin)> report;
    std::function<void(const ReportProblem& problem)> problem;
};

// What an import says it took and skipped.
struct DmarcReadTally {
    std::uint64_t files = 0;     // files opened
    std::uint64_t mails = 0;     // mail messages read in them
    std::uint64_t reports = 0;   // reports handed to the sink
    std::uint64_t records = 0;   // records in those reports
    std::uint64_t messages = 0;  // the records' counts added up
    // Files of which something was skipped (a problem of scope Report), and
    // paths that could not be read at all (not there, a folder not listed).
    std::uint64_t skippedFiles = 0;
    std::uint64_t skippedReports = 0;  // problems of scope Report
    std::uint64_t skippedRecords = 0;  // problems of scope Record
};

// paths: files or folders, walked as report_files.h says.
DmarcReadTally readDmarcReports(const std::vector<std::filesystem::path>& paths,
                                const DmarcSink& sink, const ReadLimits& limits = {});

// One file, for a caller that walks its own way.
DmarcReadTally readDmarcFile(const std::filesystem::path& file, const DmarcSink& sink,
                             const ReadLimits& limits = {});

}  // namespace ostrivane
