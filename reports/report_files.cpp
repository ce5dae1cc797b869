#include "reports/report_files.h"

#include <algorithm>
#include <system_error>

namespace ostrivane {
namespace {

namespace fs = std::filesystem;

bool isFolder(const fs::path& path) {
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

bool isMaildir(const fs::path& folder) {
    return isFolder(folder / "cur") && isFolder(folder / "new");
}

class FileWalk {
  public:
    explicit FileWalk(const ReportFileEvents& events) : m_events(events) {}

    void path(const fs::path& path) {
        std::error_code error;
        const auto status = fs::status(path, error);
        if (error || !fs::exists(status)) {
            m_events.problem(path, "no such file or folder");
        } else if (fs::is_directory(status)) {
            folder(path);
        } else if (fs::is_regular_file(status)) {
            m_events.file(path);
        } else {
            m_events.problem(path, "neither a file nor a folder");
        }
    }

  private:
    // The folder's entries by name; a symbolic link to a folder is not
    // followed, so that a link back up cannot loop.
    std::vector<fs::directory_entry> entriesOf(const fs::path& folder) {
        std::vector<fs::directory_entry> entries;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            entries.push_back(*it);
        }
        if (error) {
            m_events.problem(folder, "cannot be listed: " + error.message());
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.path() < b.path(); });
        return entries;
    }

    void folder(const fs::path& folder) {
        if (isMaildir(folder)) {
            maildir(folder);
            return;
        }
        for (const auto& entry : entriesOf(folder)) {
            std::error_code ignored;
            if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
                this->folder(entry.path());
            } else if (entry.is_regular_file(ignored)) {
                m_events.file(entry.path());
            }
        }
    }

    void maildir(const fs::path& folder) {
        for (const char* messages : {"cur", "new"}) {
            for (const auto& entry : entriesOf(folder / messages)) {
                std::error_code ignored;
                if (entry.is_regular_file(ignored)) {
                    m_events.file(entry.path());
                }
            }
        }
        for (const auto& entry : entriesOf(folder)) {
            std::error_code ignored;
            const std::string name = entry.path().filename().string();
            if (name.size() > 1 && name[0] == '.' && !entry.is_symlink(ignored) &&
                isMaildir(entry.path())) {
                maildir(entry.path());
            }
        }
    }

    const ReportFileEvents& m_events;
};

}  // namespace

void forEachReportFile(const std::vector<fs::path>& paths, const ReportFileEvents& events) {
    FileWalk walk(events);
    for (const auto& path : paths) {
        walk.path(path);
    }
}

}  // namespace ostrivane
