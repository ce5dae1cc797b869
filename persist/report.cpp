#include "persist/report.h"

#include <cstdlib>
#include <system_error>

#include "core/information_page.h"
#include "persist/atomic_write.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace ostrivane {

std::string htmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

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

namespace {

std::optional<std::string_view> environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string_view>(value) : std::nullopt;
}

// Cron and some service managers start jobs without HOME.
std::optional<std::string_view> homeFolder() {
    auto home = environment("HOME");
#ifndef _WIN32
    if (!home || home->empty()) {
        if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) {
            home = user->pw_dir;
        }
    }
#endif
    return home;
}

}  // namespace

std::filesystem::path reportPath() {
    return reportPathFor(environment(std::string(kReportPathVariable).c_str()), homeFolder());
}

std::optional<FileProblem> writeReport(const BlacklistTable& table, std::string_view serverText,
                                       const std::filesystem::path& path) {
    if (const auto folder = path.parent_path(); !folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            return FileProblem{path,
                               "cannot create its folder " + folder.string() + ": " + ec.message()};
        }
    }
    return writeFileAtomically(path, formatReport(table, serverText));
}

}  // namespace ostrivane
