#include "check/check_output.h"

#include <ctime>

#include "check/output_formats.h"

namespace ostrivane {

std::string plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : std::string(separator)) + part;
    }
    return text;
}

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

void printCheckRun(const CheckRun& run, const CheckOptions& options, int status, std::ostream& out,
                   const std::vector<std::string>& problems) {
    switch (options.format) {
        case CheckFormat::Text:
            printCheckText(run, options, out);
            return;
        case CheckFormat::Json:
            printCheckJson(run, out);
            return;
        case CheckFormat::Nagios:
            printCheckNagios(run, options, status, problems, out);
            return;
        case CheckFormat::OpenMetrics:
            // The metrics' names and labels are metrics/'s, above this folder:
            // app/check_mode.cpp writes this format.
            return;
    }
}

}  // namespace ostrivane
