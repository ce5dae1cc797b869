#pragma once

// The list file: the names and zones of the 20 rows, one value a line, name
// then zone for each row, lines ended by CR LF.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/blacklist_table.h"
#include "persist/file_problem.h"
#include "persist/text_encoding.h"

namespace ostrivane {

inline constexpr std::string_view kListFileName = "sbllist.txt";
inline constexpr int kListFieldCount = 2 * kRowCount;
// A list file is 40 short lines; anything much larger is not one, and reading
// it would only fill the memory.
inline constexpr std::uintmax_t kListFileLimit = 1024 * 1024;

// Field 2i is the name of row i, field 2i+1 its zone.
using ListFields = std::array<std::string, kListFieldCount>;

// True when the file can be measured and holds at least one byte. Missing,
// empty, a directory, or anything that cannot be examined: false, never an
// error.
bool isNonEmptyFile(const std::filesystem::path& path);

// Reads the 40 fields of a list file's content. A field ends at a comma or at
// the end of its line (CR LF, LF or CR); a field that begins with a double
// quote runs to the next double quote, quotes not kept. Blanks are kept.
// Anything after the 40th field is ignored; a short content leaves the fields
// it does not reach empty.
ListFields parseListFields(std::string_view content);

// The 40 lines of a list file for the table's names and zones. A value holding
// a comma is quoted, and line breaks within a value become blanks, so that the
// value reads back as it was. The format cannot carry a double quote in a
// value that holds a comma or begins with one: it is written as a single quote.
std::string formatListFile(const BlacklistTable& table);

// The names and zones of the table, field 2i the name of row i.
ListFields fieldsOf(const BlacklistTable& table);

// A list file as read: its bytes as they stand on disk, the encoding they were
// read in, and the fields (always UTF-8).
struct ListFileContent {
    std::string bytes;
    TextEncoding encoding = TextEncoding::Utf8;
    ListFields fields;
};

// Reads a list file of at most kListFileLimit bytes. Valid UTF-8 is taken as
// it stands; anything else is read as Windows-1252.
std::variant<ListFileContent, FileProblem> readListFile(const std::filesystem::path& path);

// The bytes to write for the table: in Windows-1252 when that is what the file
// was read in and every character has a byte there, else in UTF-8; with the
// encoding they are in.
struct EncodedListFile {
    std::string bytes;
    TextEncoding encoding = TextEncoding::Utf8;
};
EncodedListFile encodeListFile(const BlacklistTable& table, TextEncoding readIn);

// Names and zones from the file; results and colours stay. When the file
// cannot be read the table is left as it was.
std::optional<FileProblem> loadListFile(BlacklistTable& table, const std::filesystem::path& path);

// Replaces the file with the table's names and zones in UTF-8; on failure the
// old file stays as it was.
std::optional<FileProblem> saveListFile(const BlacklistTable& table,
                                        const std::filesystem::path& path);

}  // namespace ostrivane
