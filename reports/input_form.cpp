#include "reports/input_form.h"

namespace ostrivane {
namespace {

bool startsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

// RFC 5322: a field name is printable ASCII without a colon, then a colon.
bool startsWithHeaderField(std::string_view head) {
    std::size_t length = 0;
    while (length < head.size() && head[length] > ' ' && head[length] < 127 &&
           head[length] != ':') {
        ++length;
    }
    return length > 0 && length < head.size() && head[length] == ':';
}

bool startsLikeXml(std::string_view head) {
    if (startsWith(head, "\xEF\xBB\xBF")) {
        head.remove_prefix(3);
    } else if (startsWith(head, "\xFF\xFE") || startsWith(head, "\xFE\xFF")) {
        return true;  // UTF-16, which libxml2 reads
    }
    const auto first = head.find_first_not_of(" \t\r\n");
    return first != head.npos && head[first] == '<';
}

}  // namespace

InputForm inputFormOf(std::string_view head) {
    if (head.empty()) {
        return InputForm::Empty;
    }
    if (startsWith(head, "\x1F\x8B")) {
        return InputForm::Gzip;
    }
    if (startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06")) {
        return InputForm::Zip;
    }
    if (startsLikeXml(head)) {
        return InputForm::Xml;
    }
    if (startsWith(head, "From ")) {
        return InputForm::Mbox;
    }
    return startsWithHeaderField(head) ? InputForm::Mail : InputForm::Unknown;
}

}  // namespace ostrivane
