#include "reports/xml_inputs.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ostrivane {

std::optional<std::size_t> FileXmlInput::read(char* buffer, std::size_t size) {
    const std::size_t count = std::fread(buffer, 1, size, m_file);
    if (count == 0 && std::ferror(m_file)) {
        m_failure = std::string("cannot be read: ") + std::strerror(errno);
        return std::nullopt;
    }
    return count;
}

std::optional<std::size_t> MemoryXmlInput::read(char* buffer, std::size_t size) {
    const std::size_t count = std::min(size, m_bytes.size());
    std::copy_n(m_bytes.data(), count, buffer);
    m_bytes.remove_prefix(count);
    return count;
}

ArchiveXmlInput::ArchiveXmlInput(InputForm form) : m_form(form), m_archive(archive_read_new()) {
    if (m_form == InputForm::Gzip) {
        // A gzip is one stream: libarchive's "raw" format gives it as one file.
        archive_read_support_filter_gzip(m_archive);
        archive_read_support_format_raw(m_archive);
    } else {
        archive_read_support_format_zip(m_archive);
    }
}

ArchiveXmlInput::~ArchiveXmlInput() {
    archive_read_free(m_archive);
}

std::string ArchiveXmlInput::damage() const {
    const char* detail = archive_error_string(m_archive);
    return std::string(m_form == InputForm::Gzip ? "a damaged gzip" : "a damaged zip") +
           (detail ? std::string(": ") + detail : std::string());
}

std::optional<std::string> ArchiveXmlInput::openFile(const std::filesystem::path& path) {
    return firstFile(archive_read_open_filename(m_archive, path.c_str(), 64 * 1024));
}

std::optional<std::string> ArchiveXmlInput::openMemory(std::string_view bytes) {
    return firstFile(archive_read_open_memory(m_archive, bytes.data(), bytes.size()));
}

std::optional<std::string> ArchiveXmlInput::firstFile(int opened) {
    if (opened != ARCHIVE_OK) {
        return damage();
    }
    bool found = false;
    if (auto reason = nextFile(found)) {
        return reason;
    }
    if (!found) {
        return std::string("a zip that holds no file");
    }
    return std::nullopt;
}

std::optional<std::string> ArchiveXmlInput::nextFile(bool& found) {
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(m_archive, &entry);
        if (status == ARCHIVE_EOF) {
            found = false;
            return std::nullopt;
        }
        if (status < ARCHIVE_WARN) {
            return damage();
        }
        // The raw format's one entry has no type; a zip's folders are skipped.
        if (m_form == InputForm::Gzip || archive_entry_filetype(entry) != AE_IFDIR) {
            found = true;
            return std::nullopt;
        }
    }
}

std::optional<std::size_t> ArchiveXmlInput::read(char* buffer, std::size_t size) {
    const la_ssize_t count = archive_read_data(m_archive, buffer, size);
    if (count < 0) {
        m_failure = damage();
        return std::nullopt;
    }
    return static_cast<std::size_t>(count);
}

std::optional<std::string> ArchiveXmlInput::onlyOneFile() {
    if (m_form == InputForm::Gzip) {
        return std::nullopt;
    }
    bool found = false;
    if (auto reason = nextFile(found)) {
        return reason;
    }
    if (found) {
        return std::string("a zip of more than one file; a report's zip holds one XML file");
    }
    return std::nullopt;
}

}  // namespace ostrivane
