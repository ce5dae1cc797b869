#include "persist/list_file.h"

#include <algorithm>
#include <system_error>
#include <variant>

#include "persist/atomic_write.h"
#include "persist/read_file.h"
#include "text/utf8.h"

namespace ostrivane {

bool isNonEmptyFile(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return !ec && size > 0;
}

namespace {

constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kFieldEnds = ",\r\n";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Steps over one comma or one line end (CR LF counts as one) at the start.
void skipDelimiter(std::string_view& rest) {
    if (rest.starts_with("\r\n")) {
        rest.remove_prefix(2);
    } else if (!rest.empty()) {
        rest.remove_prefix(1);
    }
}

std::string takeField(std::string_view& rest) {
    if (rest.starts_with('"')) {
        rest.remove_prefix(1);
        // An opening quote that is not closed on its line ends at that line,
        // so that one stray quote does not swallow the rows after it.
        const auto lineEnd = std::min(rest.find_first_of(kLineEnds), rest.size());
        auto close = rest.substr(0, lineEnd).find('"');
        const bool closed = close != std::string_view::npos;
        if (!closed) {
            close = lineEnd;
        }
        std::string value(rest.substr(0, close));
        rest.remove_prefix(close + (closed ? 1 : 0));
        // Whatever stands between the closing quote and the field's end is
        // not part of any field.
        rest.remove_prefix(std::min(rest.find_first_of(kFieldEnds), rest.size()));
        skipDelimiter(rest);
        return value;
    }
    const auto end = std::min(rest.find_first_of(kFieldEnds), rest.size());
    std::string value(rest.substr(0, end));
    rest.remove_prefix(end);
    skipDelimiter(rest);
    return value;
}

// The file keeps one value a line, so a line break cannot be part of a value.
std::string withoutLineBreaks(std::string_view value) {
    std::string flat;
    flat.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
            continue;  // CR LF makes one blank, not two
        }
        flat += (value[i] == '\r' || value[i] == '\n') ? ' ' : value[i];
    }
    return flat;
}

std::string listValue(std::string_view value) {
    std::string flat = withoutLineBreaks(value);
    const bool hasComma = flat.find(',') != std::string::npos;
    // A double quote that the reader would take for a delimiter could pull
    // later lines into this value and shift every row after it; a single
    // quote in its place keeps the file in step.
    if (hasComma || flat.starts_with('"')) {
        std::replace(flat.begin(), flat.end(), '"', '\'');
    }
    return hasComma ? '"' + flat + '"' : flat;
}

}  // namespace

ListFields parseListFields(std::string_view content) {
    // Some editors put a byte order mark in front of a UTF-8 file; it is not
    // part of the first name.
    if (content.starts_with(kUtf8ByteOrderMark)) {
        content.remove_prefix(kUtf8ByteOrderMark.size());
    }
    ListFields fields;
    for (auto& field : fields) {
        if (content.empty()) {
            break;
        }
        field = takeField(content);
    }
    return fields;
}

std::string formatListFile(const BlacklistTable& table) {
    std::string text;
    for (int row = 0; row < kRowCount; ++row) {
        text += listValue(table.name(row));
        text += "\r\n";
        text += listValue(table.zone(row));
        text += "\r\n";
    }
    // The reader drops one mark at the start of the file; a first name that
    // begins with one (U+FEFF, pasted, or quoted in a hand-edited file) keeps
    // it only behind a mark of the file's own.
    if (text.starts_with(kUtf8ByteOrderMark)) {
        text.insert(0, kUtf8ByteOrderMark);
    }
    return text;
}

ListFields fieldsOf(const BlacklistTable& table) {
    ListFields fields;
    for (int row = 0; row < kRowCount; ++row) {
        fields[static_cast<std::size_t>(2 * row)] = table.name(row);
        fields[static_cast<std::size_t>(2 * row + 1)] = table.zone(row);
    }
    return fields;
}

std::variant<ListFileContent, FileProblem> readListFile(const std::filesystem::path& path) {
    auto read = readWholeFile(path, kListFileLimit);
    if (auto* problem = std::get_if<FileProblem>(&read)) {
        return *problem;
    }
    if (const auto* tooLarge = std::get_if<FileTooLarge>(&read)) {
        return FileProblem{path, "List file too large (" + std::to_string(tooLarge->size) +
                                     " bytes, at most 1 MiB)"};
    }
    ListFileContent content;
    content.bytes = std::move(std::get<std::string>(read));
    if (isValidUtf8(content.bytes)) {
        content.fields = parseListFields(content.bytes);
    } else {
        // A mark in front says UTF-8 even where the rest does not; it is not
        // part of the first name in either case.
        std::string_view bytes = content.bytes;
        if (bytes.starts_with(kUtf8ByteOrderMark)) {
            bytes.remove_prefix(kUtf8ByteOrderMark.size());
        }
        content.encoding = TextEncoding::Windows1252;
        content.fields = parseListFields(utf8FromWindows1252(bytes));
    }
    return content;
}

EncodedListFile encodeListFile(const BlacklistTable& table, TextEncoding readIn) {
    std::string text = formatListFile(table);
    if (readIn == TextEncoding::Windows1252) {
        if (auto bytes = windows1252FromUtf8(text)) {
            return {std::move(*bytes), TextEncoding::Windows1252};
        }
    }
    return {std::move(text), TextEncoding::Utf8};
}

std::optional<FileProblem> loadListFile(BlacklistTable& table, const std::filesystem::path& path) {
    auto read = readListFile(path);
    if (auto* problem = std::get_if<FileProblem>(&read)) {
        return *problem;
    }
    const ListFields& fields = std::get<ListFileContent>(read).fields;
    for (int row = 0; row < kRowCount; ++row) {
        table.setName(row, fields[static_cast<std::size_t>(2 * row)]);
        table.setZone(row, fields[static_cast<std::size_t>(2 * row + 1)]);
    }
    return std::nullopt;
}

std::optional<FileProblem> saveListFile(const BlacklistTable& table,
                                        const std::filesystem::path& path) {
    return writeFileAtomically(path, formatListFile(table));
}

}  // namespace ostrivane
