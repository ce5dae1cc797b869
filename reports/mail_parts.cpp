#include "reports/mail_parts.h"

#include <gmime/gmime.h>

#include <fcntl.h>

#include <memory>
#include <mutex>

#include "reports/input_form.h"
#include "reports/size_text.h"

namespace ostrivane {
namespace {

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref>;

// Forwarded reports sit in message/rfc822 parts; deeper than this is no mail
// a receiver sends.
constexpr int kMaxNesting = 16;

std::string joined(const std::string& outer, const std::string& inner) {
    return outer.empty() ? inner : outer + ", " + inner;
}

std::string partName(GMimePart* part, int number) {
    const char* name = g_mime_part_get_filename(part);
    if (!name || !*name) {
        return "part " + std::to_string(number);
    }
    std::string text = name;
    return "attachment '" + (text.size() > 100 ? text.substr(0, 100) + "...'" : text + "'");
}

bool isOfType(GMimeObject* object, const char* type, const char* subtype) {
    return g_mime_content_type_is_type(g_mime_object_get_content_type(object), type, subtype);
}

// An attachment that says it is a report by its type or name.
bool claimsReport(GMimePart* part) {
    auto* object = GMIME_OBJECT(part);
    if (isOfType(object, "application", "zip") || isOfType(object, "application", "gzip") ||
        isOfType(object, "application", "x-gzip") || isOfType(object, "*", "xml")) {
        return true;
    }
    const char* name = g_mime_part_get_filename(part);
    const std::string_view text = name ? name : "";
    for (std::string_view end : {".zip", ".gz", ".xml"}) {
        if (text.size() >= end.size() && text.substr(text.size() - end.size()) == end) {
            return true;
        }
    }
    return false;
}

class MessageWalk {
  public:
    MessageWalk(const ReadLimits& limits, const MailEvents& events, std::string message)
        : m_limits(limits), m_events(events), m_message(std::move(message)) {}

    void visit(GMimeObject* object, int depth) {
        if (!object || depth > kMaxNesting) {
            return;
        }
        if (GMIME_IS_MULTIPART(object)) {
            auto* multipart = GMIME_MULTIPART(object);
            for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
                visit(g_mime_multipart_get_part(multipart, i), depth + 1);
            }
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            visit(inner ? g_mime_message_get_mime_part(inner) : nullptr, depth + 1);
        } else if (GMIME_IS_PART(object)) {
            leaf(GMIME_PART(object));
        }
    }

    bool foundAny() const { return m_candidates > 0; }

  private:
    void leaf(GMimePart* part) {
        const int number = ++m_parts;
        auto* object = GMIME_OBJECT(part);
        const bool named = g_mime_part_get_filename(part) != nullptr;
        if (!named && (isOfType(object, "text", "plain") || isOfType(object, "text", "html"))) {
            return;  // the message's own words
        }
        GMimeDataWrapper* content = g_mime_part_get_content(part);
        if (!content) {
            return;
        }
        const std::string where = joined(m_message, partName(part, number));
        const gint64 encoded = g_mime_stream_length(g_mime_data_wrapper_get_stream(content));
        if (encoded > static_cast<gint64>(m_limits.maxAttachmentBytes)) {
            ++m_candidates;
            m_events.problem(where, "larger than " + sizeText(m_limits.maxAttachmentBytes) +
                                        ", the most an attachment may be");
            return;
        }
        const GPtr<GMimeStream> decoded(g_mime_stream_mem_new());
        g_mime_data_wrapper_write_to_stream(content, decoded.get());
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
        const std::string_view view(reinterpret_cast<const char*>(bytes->data), bytes->len);
        const InputForm form = inputFormOf(view.substr(0, 512));
        if (form == InputForm::Xml || form == InputForm::Gzip || form == InputForm::Zip) {
            ++m_candidates;
            m_events.attachment(view, where);
        } else if (claimsReport(part)) {
            ++m_candidates;
            m_events.problem(where, "neither XML, gzip nor zip, though named as a report");
        }
    }

    const ReadLimits& m_limits;
    const MailEvents& m_events;
    std::string m_message;
    int m_parts = 0;
    int m_candidates = 0;
};

}  // namespace

std::size_t readMailFile(const std::filesystem::path& path, bool mbox, const ReadLimits& limits,
                         const MailEvents& events) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { g_mime_init(); });

    GError* error = nullptr;
    const GPtr<GMimeStream> stream(g_mime_stream_fs_open(path.c_str(), O_RDONLY, 0, &error));
    if (!stream) {
        events.problem("", std::string("cannot be read: ") + (error ? error->message : "?"));
        g_clear_error(&error);
        return 0;
    }
    const GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
    std::size_t messages = 0;
    while (messages == 0 || (mbox && !g_mime_parser_eos(parser.get()))) {
        const std::string label = mbox ? "message " + std::to_string(messages + 1) : "";
        const GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
        if (!message) {
            events.problem(label, "not a mail message that can be read");
            break;
        }
        ++messages;
        MessageWalk walk(limits, events, label);
        walk.visit(g_mime_message_get_mime_part(message.get()), 0);
        if (!walk.foundAny()) {
            events.problem(label, "a mail message with no report attached");
        }
    }
    return messages;
}

}  // namespace ostrivane
