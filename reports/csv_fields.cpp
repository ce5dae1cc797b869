#include "reports/csv_fields.h"

namespace ostrivane {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == text.npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<std::string> csvFields(std::string_view line, std::size_t maxFields) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted && fields.size() < maxFields) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (auto& field : fields) {
        field = trimmed(field);
    }
    return fields;
}

void forEachLine(std::string_view text,
                 const std::function<void(std::string_view line, std::size_t number)>& line) {
    std::size_t number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view current = text.substr(0, end);
        text.remove_prefix(end == text.npos ? text.size() : end + 1);
        if (!current.empty() && current.back() == '\r') {
            current.remove_suffix(1);
        }
        line(current, ++number);
    }
}

}  // namespace ostrivane
