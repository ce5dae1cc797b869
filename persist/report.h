#pragma once

// The HTML report of an unattended run: the host as the run left it, then one
// table row per blacklist with its verdict and its information page.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/blacklist_table.h"
#include "persist/file_problem.h"

namespace ostrivane {

inline constexpr std::string_view kReportPathVariable = "OSTRIVANE_REPORT";

// Rows 0 to 19, four lines each; the third cell links the row's information
// page, and stays empty for a row without a name. Lines end with CR LF.
std::string formatReport(const BlacklistTable& table, std::string_view serverText);

// The override when it is set and not empty; else, on Windows,
// d:\bl_mon\report.html, and elsewhere bl_mon/report.html in the home folder.
std::filesystem::path reportPathFor(std::optional<std::string_view> override,
                                    std::optional<std::string_view> home);

// reportPathFor with $OSTRIVANE_REPORT and the user's home folder.
std::filesystem::path reportPath();

// Creates the report's folder when it is missing, then replaces the report at
// once, so a reader never sees half of it.
std::optional<FileProblem> writeReport(const BlacklistTable& table, std::string_view serverText,
                                       const std::filesystem::path& path);

}  // namespace ostrivane
