#include "text/terminal_text.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

struct TerminalCase {
    std::string_view text;
    std::string_view shown;
    std::size_t width;  // of the text as shown
};

TEST(TerminalText, EscapesWhatATerminalWouldObeyAndMeasuresColumns) {
    const TerminalCase cases[] = {
        {"Spamhaus SBL", "Spamhaus SBL", 12},
        {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07", 23},
        {"a\tb\nc\rd", "a\\tb\\nc\\rd", 10},
        {std::string_view("nul\0end", 7), "nul\\x00end", 10},
        {"del\x7f", "del\\x7f", 7},
        {"c1 \xc2\x9b"
         "31m",
         "c1 \\u009b31m", 12},  // 8-bit CSI
        {"\xe2\x80\xae"
         "evil",
         "\\u202eevil", 10},                              // right-to-left override
        {"Liste f\xfcr Spam", "Liste f\\xfcr Spam", 17},  // Latin-1, not UTF-8
        {"\xed\xa0\x80", "\\xed\\xa0\\x80", 12},          // a surrogate
        {"\xc0\xaf", "\\xc0\\xaf", 8},                    // an overlong slash
        {"f\xc3\xbcr", "f\xc3\xbcr", 3},                  // two bytes, one column
        {"\xe9\xbb\x91\xe5\x90\x8d\xe5\x8d\x95", "\xe9\xbb\x91\xe5\x90\x8d\xe5\x8d\x95", 6},
        {"\xef\xbc\xa1", "\xef\xbc\xa1", 2},          // full-width A
        {"e\xcc\x81", "e\xcc\x81", 1},                // e + combining acute
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80", 2},  // an emoji
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const std::string shown = escapeForTerminal(c.text);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(displayWidth(shown), c.width);
    }
}

}  // namespace
}  // namespace ostrivane
