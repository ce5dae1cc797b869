#include "text/columns.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct ColumnsCase {
    std::string_view what;
    Rows rows;
    ColumnLayout layout;
    std::vector<std::string> lines;
};

TEST(Columns, PadsByDisplayWidthAndLeavesNoTrailingBlanks) {
    const ColumnsCase cases[] = {
        {"widest cell sets the width",
         {{"a", "b", "c"}, {"long", "x", "y"}},
         {},
         {"a     b  c", "long  x  y"}},
        {"wide characters count two columns, combining marks none",
         {{"\xe9\xbb\x91\xe5\x90\x8d", "x"}, {"e\xcc\x81", "y"}, {"abcde", "z"}},
         {},
         {"\xe9\xbb\x91\xe5\x90\x8d   x", "e\xcc\x81      y", "abcde  z"}},
        {"empty last cells leave no blanks behind",
         {{"a", "b", ""}, {"abc", "", ""}},
         {},
         {"a    b", "abc"}},
        {"indent and a right-aligned first column",
         {{"Row", "Name"}, {"1", "x"}, {"20", "y"}},
         {"  ", {{0, false, Align::Right}}},
         {"  Row  Name", "    1  x", "   20  y"}},
        {"a fixed column keeps its width; a wider cell overflows",
         {{"a", "b", "c"}, {"a", "overlong", "c"}},
         {"", {{}, {4, true, Align::Left}}},
         {"a  b     c", "a  overlong  c"}},
        {"a minimum width", {{"a", "b"}}, {"", {{3, false, Align::Left}}}, {"a    b"}},
        {"no rows, no lines", {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(alignColumns(c.rows, c.layout), c.lines);
    }
}

}  // namespace
}  // namespace ostrivane
