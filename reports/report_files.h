#pragma once

// The files under the paths given to an import, in a stable order (by name,
// folder by folder, depth first), so two imports of one tree read it alike.
// A Maildir (a folder with cur/ and new/) gives the messages of cur/ and new/
// and of its Maildir++ subfolders (".Name"), never tmp/ (mail still being
// delivered) nor the mail server's own files beside them.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ostrivane {

struct ReportFileEvents {
    std::function<void(const std::filesystem::path& file)> file;
    std::function<void(const std::filesystem::path& path, const std::string& reason)> problem;
};

void forEachReportFile(const std::vector<std::filesystem::path>& paths,
                       const ReportFileEvents& events);

}  // namespace ostrivane
