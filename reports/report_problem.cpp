#include "reports/report_problem.h"

namespace ostrivane {

std::string ReportOrigin::text() const {
    std::string text = file.string();
    if (!part.empty()) {
        text += ": " + part;
    }
    return text;
}

std::string ReportProblem::message() const {
    return origin.text() + ": " + reason;
}

}  // namespace ostrivane
