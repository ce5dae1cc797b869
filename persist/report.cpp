#include "persist/report.h"

#include <system_error>

#include "core/information_page.h"
#include "persist/atomic_write.h"
#include "persist/user_folders.h"
#include "text/html_escape.h"

namespace ostrivane {

namespace {

std::string informationLink(std::string_view name) {
    if (name.empty()) {
        return {};
    }
    const std::string page = htmlEscape(informationPageFor(name));
    return "<a href=\"" + page + "\">" + page + "</a>";
}

}  // namespace

std::string formatReport(const BlacklistTable& table, std::string_view serverText) {
    constexpr std::string_view kEnd = "\r\n";
    std::string html;
    html.append("<html>").append(kEnd);
    html.append("Server: ").append(htmlEscape(serverText)).append("<p>").append(kEnd);
    html.append(kEnd);
    html.append("<table>").append(kEnd);
    html.append("<tr><th>Blacklist</th><th>Status</th><th>Information URL</th></tr>").append(kEnd);
    for (int row = 0; row < kRowCount; ++row) {
        const std::string name = table.name(row);
        html.append("<tr><td>").append(kEnd);
        html.append(htmlEscape(name)).append("</td><td>").append(kEnd);
        html.append(htmlEscape(table.result(row))).append(kEnd);
        html.append("</td><td>").append(informationLink(name)).append("</td></tr>").append(kEnd);
    }
    html.append("</table></html>").append(kEnd);
    return html;
}

std::filesystem::path reportPathFor(std::optional<std::string_view> override,
                                    std::optional<std::string_view> home) {
    if (override && !override->empty()) {
        return std::filesystem::path(*override);
    }
#ifdef _WIN32
    (void)home;
    return std::filesystem::path("d:\\bl_mon\\report.html");
#else
    const std::filesystem::path folder = home ? std::filesystem::path(*home) : "";
    return folder / "bl_mon" / "report.html";
#endif
}

std::filesystem::path reportPath() {
    return reportPathFor(environmentValue(std::string(kReportPathVariable).c_str()), homeFolder());
}

std::optional<FileProblem> writeReport(const BlacklistTable& table, std::string_view serverText,
                                       const std::filesystem::path& path) {
    if (auto problem = createFolderOf(path)) {
        return problem;
    }
    return writeFileAtomically(path, formatReport(table, serverText));
}

}  // namespace ostrivane
