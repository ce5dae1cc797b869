#include "formats/check_output.h"

#include <algorithm>
#include <ctime>

#include "formats/output_formats.h"
#include "text/phrases.h"

namespace ostrivane {

std::string answersText(const CheckResult& result) {
    if (result.meanings.size() != result.answers.size()) {
        return joined(result.answers, ",");
    }
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < result.answers.size(); ++i) {
        const auto& meaning = result.meanings[i];
        shown.push_back(result.answers[i] + " " + meaning.answerClass +
                        (meaning.meaning.empty() ? "" : ": " + meaning.meaning));
    }
    return joined(shown, "; ");
}

std::string formatRfc3339(EpochMs time) {
    const auto seconds = static_cast<std::time_t>(time >= 0 ? time / 1000 : (time - 999) / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

namespace {

// Prints nothing: --format openmetrics is written by metrics/, above this folder.
class NoPrinter : public CheckPrinter {
  public:
    void address(std::span<const CheckResult> /*results*/) override {}
    void finish(const CheckRun& /*run*/, int /*status*/,
                const std::vector<std::string>& /*problems*/) override {}
};

}  // namespace

std::unique_ptr<CheckPrinter> checkPrinter(const CheckOptions& options, EpochMs startedAt,
                                           bool withChange, std::ostream& out) {
    switch (options.format) {
        case CheckFormat::Text:
            return textPrinter(options, withChange, out);
        case CheckFormat::Json:
            return jsonPrinter(startedAt, out);
        case CheckFormat::Nagios:
            return nagiosPrinter(options, out);
        case CheckFormat::OpenMetrics:
            break;
    }
    return std::make_unique<NoPrinter>();
}

void printCheckRun(const CheckRun& run, const CheckOptions& options, int status, std::ostream& out,
                   const std::vector<std::string>& problems) {
    const bool withChange = std::any_of(run.results.begin(), run.results.end(),
                                        [](const CheckResult& r) { return r.change.has_value(); });
    auto printer = checkPrinter(options, run.startedAt, withChange, out);
    forEachAddress(run.results, [&](std::size_t first, std::size_t end) {
        printer->address(std::span(run.results).subspan(first, end - first));
    });
    printer->finish(run, status, problems);
}

}  // namespace ostrivane
