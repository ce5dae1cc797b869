#include "reports/dmarc_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <variant>

#include "reports/input_form.h"
#include "reports/mail_parts.h"
#include "reports/report_files.h"
#include "reports/xml_inputs.h"

namespace ostrivane {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kHeadBytes = 512;

class ReportReader {
  public:
    ReportReader(const DmarcSink& sink, const ReadLimits& limits)
        : m_sink(sink), m_limits(limits) {}

    void file(const std::filesystem::path& path) {
        ++m_tally.files;
        m_fileSkipped = false;
        readFile(path);
        m_tally.skippedFiles += m_fileSkipped ? 1 : 0;
    }

    void unreadablePath(const std::filesystem::path& path, const std::string& reason) {
        ++m_tally.skippedFiles;
        ++m_tally.skippedReports;
        m_sink.problem({{path, ""}, reason, ProblemScope::Report});
    }

    const DmarcReadTally& tally() const { return m_tally; }

  private:
    void readFile(const std::filesystem::path& path) {
        const ReportOrigin origin{path, ""};
        File file(std::fopen(path.c_str(), "rb"));
        std::string head(kHeadBytes, '\0');
        if (file) {
            head.resize(std::fread(head.data(), 1, head.size(), file.get()));
        }
        if (!file || std::ferror(file.get())) {
            problem(origin, std::string("cannot be read: ") + std::strerror(errno));
            return;
        }
        const InputForm form = inputFormOf(head);
        if (form == InputForm::Xml) {
            std::rewind(file.get());
            FileXmlInput input(file.get());
            deliver(readDmarcXml(input, m_limits), origin);
        } else if (form == InputForm::Gzip || form == InputForm::Zip) {
            file.reset();
            ArchiveXmlInput input(form);
            readArchive(input, input.openFile(path), origin);
        } else if (form == InputForm::Mbox || form == InputForm::Mail) {
            file.reset();
            readMail(path, form == InputForm::Mbox);
        } else {
            problem(origin, form == InputForm::Empty
                                ? "empty"
                                : "not a DMARC report: neither XML, gzip, zip nor a mail message");
        }
    }

    void readAttachment(std::string_view bytes, const ReportOrigin& origin) {
        const InputForm form = inputFormOf(bytes.substr(0, kHeadBytes));
        if (form == InputForm::Xml) {
            MemoryXmlInput input(bytes);
            deliver(readDmarcXml(input, m_limits), origin);
        } else {
            ArchiveXmlInput input(form);
            readArchive(input, input.openMemory(bytes), origin);
        }
    }

    void readArchive(ArchiveXmlInput& input, std::optional<std::string> openFailure,
                     const ReportOrigin& origin) {
        if (openFailure) {
            problem(origin, *openFailure);
            return;
        }
        auto result = readDmarcXml(input, m_limits);
        if (std::holds_alternative<DmarcXmlRead>(result)) {
            if (auto more = input.onlyOneFile()) {
                result = std::move(*more);
            }
        }
        deliver(std::move(result), origin);
    }

    void readMail(const std::filesystem::path& path, bool mbox) {
        const MailEvents events{[&](std::string_view bytes, const std::string& part) {
                                    readAttachment(bytes, {path, part});
                                },
                                [&](const std::string& part, const std::string& reason) {
                                    problem({path, part}, reason);
                                }};
        m_tally.mails += readMailFile(path, mbox, m_limits, events);
    }

    void deliver(std::variant<DmarcXmlRead, std::string> result, const ReportOrigin& origin) {
        if (auto* reason = std::get_if<std::string>(&result)) {
            problem(origin, *reason);
            return;
        }
        const auto& [report, skipped] = std::get<DmarcXmlRead>(result);
        ++m_tally.reports;
        m_tally.records += report.records.size();
        for (const auto& record : report.records) {
            m_tally.messages += record.count;
        }
        m_sink.report(report, origin);
        for (const auto& record : skipped) {
            ++m_tally.skippedRecords;
            const std::string where = "report '" + report.reportId.substr(0, 100) + "', record " +
                                      std::to_string(record.number);
            m_sink.problem({{origin.file, origin.part.empty() ? where : origin.part + ", " + where},
                            record.reason,
                            ProblemScope::Record});
        }
    }

    void problem(const ReportOrigin& origin, const std::string& reason) {
        m_fileSkipped = true;
        ++m_tally.skippedReports;
        m_sink.problem({origin, reason, ProblemScope::Report});
    }

    const DmarcSink& m_sink;
    const ReadLimits& m_limits;
    DmarcReadTally m_tally;
    bool m_fileSkipped = false;
};

}  // namespace

DmarcReadTally readDmarcReports(const std::vector<std::filesystem::path>& paths,
                                const DmarcSink& sink, const ReadLimits& limits) {
    ReportReader reader(sink, limits);
    forEachReportFile(paths, {[&](const std::filesystem::path& file) { reader.file(file); },
                              [&](const std::filesystem::path& path, const std::string& reason) {
                                  reader.unreadablePath(path, reason);
                              }});
    return reader.tally();
}

DmarcReadTally readDmarcFile(const std::filesystem::path& file, const DmarcSink& sink,
                             const ReadLimits& limits) {
    ReportReader reader(sink, limits);
    reader.file(file);
    return reader.tally();
}

}  // namespace ostrivane
