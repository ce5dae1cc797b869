#pragma once

// The inputs a report's XML is read from: a file on disk, bytes in memory,
// and the one file inside a gzip or zip (libarchive), decompressed only as
// fast as the parser takes it, so the size cap stops a zip bomb early.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "reports/dmarc_xml.h"
#include "reports/input_form.h"

struct archive;

namespace ostrivane {

class FileXmlInput : public XmlInput {
  public:
    explicit FileXmlInput(std::FILE* file) : m_file(file) {}
    std::optional<std::size_t> read(char* buffer, std::size_t size) override;
    std::string failure() const override { return m_failure; }

  private:
    std::FILE* m_file;
    std::string m_failure;
};

class MemoryXmlInput : public XmlInput {
  public:
    explicit MemoryXmlInput(std::string_view bytes) : m_bytes(bytes) {}
    std::optional<std::size_t> read(char* buffer, std::size_t size) override;
    std::string failure() const override { return {}; }

  private:
    std::string_view m_bytes;
};

class ArchiveXmlInput : public XmlInput {
  public:
    // form: Gzip or Zip.
    explicit ArchiveXmlInput(InputForm form);
    ~ArchiveXmlInput() override;
    ArchiveXmlInput(const ArchiveXmlInput&) = delete;
    ArchiveXmlInput& operator=(const ArchiveXmlInput&) = delete;

    // Opens the archive and goes to the file inside it; the reason when it
    // cannot. The bytes must outlive the input.
    std::optional<std::string> openFile(const std::filesystem::path& path);
    std::optional<std::string> openMemory(std::string_view bytes);

    std::optional<std::size_t> read(char* buffer, std::size_t size) override;
    std::string failure() const override { return m_failure; }

    // After the first file: the reason when the archive holds another, or
    // is damaged past it.
    std::optional<std::string> onlyOneFile();

  private:
    std::optional<std::string> firstFile(int opened);
    // The next regular file's header; false at the end; the reason when damaged.
    std::optional<std::string> nextFile(bool& found);
    std::string damage() const;

    InputForm m_form;
    archive* m_archive;
    std::string m_failure;
};

}  // namespace ostrivane
