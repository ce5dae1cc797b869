#pragma once

// Reports as they arrive: attached to mail. GMime reads a file of one
// message (a Maildir entry, an .eml) or an mbox of many, message by message,
// and hands each attachment that looks like a report (XML, gzip or zip by its
// bytes), decoded from base64 or quoted-printable, one at a time. The file is
// never loaded whole; an attachment is, within ReadLimits::maxAttachmentBytes.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "reports/read_limits.h"

namespace ostrivane {

struct MailEvents {
    // part: where the attachment is, "message 2, attachment 'a.zip'" in an
    // mbox, "attachment 'a.zip'" in a file of one message.
    std::function<void(std::string_view bytes, const std::string& part)> attachment;
    // A message or part that holds no report it could hand on, and why.
    std::function<void(const std::string& part, const std::string& reason)> problem;
};

// Returns the number of messages read.
std::size_t readMailFile(const std::filesystem::path& path, bool mbox, const ReadLimits& limits,
                         const MailEvents& events);

}  // namespace ostrivane
