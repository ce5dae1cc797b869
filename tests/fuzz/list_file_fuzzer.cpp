// sbllist.txt is edited by hand as often as it is saved by the program, so the
// reader must take any content, and whatever a table holds must save and read
// back without moving a value to another row; a Windows-1252 file keeps its bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/memory_table.h"
#include "fuzz_support.h"
#include "persist/list_file.h"
#include "persist/text_encoding.h"
#include "text/utf8.h"

namespace {

using namespace ostrivane;

void fillTable(BlacklistTable& table, auto valueAt) {
    for (int row = 0; row < kRowCount; ++row) {
        table.setName(row, valueAt(2 * row));
        table.setZone(row, valueAt(2 * row + 1));
    }
}

std::string_view fieldOf(const ListFields& fields, int index) {
    return fields[static_cast<std::size_t>(index)];
}

// The writer quotes a value with a comma; only line breaks and double quotes
// are beyond what the format carries back unchanged.
bool carriedUnchanged(std::string_view value) {
    return value.find_first_of("\r\n\"") == std::string_view::npos;
}

// One value a line: exactly 40 lines, each ended by CR LF, and no other line
// break anywhere, whatever the values hold.
void checkLines(std::string_view saved) {
    int lines = 0;
    for (std::string_view rest = saved; !rest.empty(); ++lines) {
        const auto end = rest.find("\r\n");
        fuzz::check(end != std::string_view::npos, "the saved file ends with CR LF", saved);
        fuzz::check(rest.substr(0, end).find_first_of("\r\n") == std::string_view::npos,
                    "a saved line holds no other line break", rest.substr(0, end));
        rest.remove_prefix(end + 2);
    }
    fuzz::check(lines == kListFieldCount, "the saved file has 40 lines", saved);
}

void checkSaveAndReload(const BlacklistTable& table) {
    const std::string saved = formatListFile(table);
    checkLines(saved);

    const ListFields reread = parseListFields(saved);
    for (int row = 0; row < kRowCount; ++row) {
        const std::string name = table.name(row);
        const std::string zone = table.zone(row);
        if (carriedUnchanged(name)) {
            fuzz::check(fieldOf(reread, 2 * row) == name, "a name reads back as it was", name);
        }
        if (carriedUnchanged(zone)) {
            fuzz::check(fieldOf(reread, 2 * row + 1) == zone, "a zone reads back as it was", zone);
        }
    }

    // Whatever the first save changed, the next save of what was read keeps.
    MemoryTable reloaded;
    fillTable(reloaded, [&](int i) { return fieldOf(reread, i); });
    fuzz::check(formatListFile(reloaded) == saved, "saving what was read writes the same file",
                saved);
}

// A file that is not UTF-8 is read as Windows-1252 and written back in it:
// every byte must come back as it was, through valid UTF-8 in the table.
void checkWindows1252(std::string_view bytes) {
    const std::string text = utf8FromWindows1252(bytes);
    fuzz::check(isValidUtf8(text), "Windows-1252 read as valid UTF-8", bytes);
    fuzz::check(windows1252FromUtf8(text) == bytes, "Windows-1252 written back unchanged", bytes);
    if (isValidUtf8(bytes)) {
        if (const auto back = windows1252FromUtf8(bytes)) {
            fuzz::check(utf8FromWindows1252(*back) == bytes,
                        "UTF-8 that fits Windows-1252 reads back the same", bytes);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::asText(data, size);
    checkWindows1252(input);

    // The input as a file's content: what the reader makes of a hand-edited file.
    const ListFields fields = parseListFields(input);
    MemoryTable fromFile;
    fillTable(fromFile, [&](int i) { return fieldOf(fields, i); });
    checkSaveAndReload(fromFile);

    // The input as 40 values typed into the cells, which may hold anything.
    const auto values = fuzz::splitAtNul(input);
    MemoryTable typed;
    fillTable(typed, [&](int i) {
        const auto index = static_cast<std::size_t>(i);
        return index < values.size() ? values[index] : std::string_view{};
    });
    checkSaveAndReload(typed);
    return 0;
}
