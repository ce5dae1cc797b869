#pragma once

// Where a report was found, and why something was not read: the file, the
// place inside it (a message of an mbox, an attachment, a record) and the
// reason. Values only; the caller says them.

#include <cstdint>
#include <filesystem>
#include <string>

namespace ostrivane {

struct ReportOrigin {
    std::filesystem::path file;
    // Inside the file, outermost first: "message 3, attachment 'a.zip'"; empty
    // for a report that is the file itself.
    std::string part;

    // "<file>" or "<file>: <part>"
    std::string text() const;
};

enum class ProblemScope : std::uint8_t {
    Report,  // a file, message or attachment that gave no report
    Record,  // one record of a report that was read; the rest of it was taken
};

struct ReportProblem {
    ReportOrigin origin;
    std::string reason;
    ProblemScope scope = ProblemScope::Report;

    // "<file>[: <part>]: <reason>"
    std::string message() const;
};

}  // namespace ostrivane
