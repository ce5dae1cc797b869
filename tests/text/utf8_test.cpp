#include "text/utf8.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

TEST(Utf8, EncodesAndDecodesEveryLengthAtItsEdges) {
    struct Case {
        char32_t codePoint;
        std::string_view bytes;
    };
    const Case cases[] = {
        {0x00, std::string_view("\0", 1)},
        {0x7F, "\x7f"},
        {0x80, "\xc2\x80"},
        {0x7FF, "\xdf\xbf"},
        {0x800, "\xe0\xa0\x80"},
        {0xD7FF, "\xed\x9f\xbf"},
        {0xE000, "\xee\x80\x80"},
        {0xFFFF, "\xef\xbf\xbf"},
        {0x10000, "\xf0\x90\x80\x80"},
        {0x10FFFF, "\xf4\x8f\xbf\xbf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<unsigned>(c.codePoint));
        std::string encoded;
        appendUtf8(encoded, c.codePoint);
        EXPECT_EQ(encoded, c.bytes);
        const auto decoded = decodeUtf8(std::string(c.bytes) + "tail");
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(static_cast<unsigned>(decoded->codePoint), static_cast<unsigned>(c.codePoint));
        EXPECT_EQ(decoded->length, c.bytes.size());
        EXPECT_TRUE(isValidUtf8(c.bytes));
    }
}

TEST(Utf8, RejectsWhatIsNotStrictUtf8) {
    const std::string_view invalid[] = {
        "\x80",              // a continuation byte alone
        "\xc0\xaf",          // overlong
        "\xe0\x80\xaf",      // overlong
        "\xed\xa0\x80",      // a surrogate
        "\xf4\x90\x80\x80",  // above U+10FFFF
        "\xf8\x88\x80\x80",  // a five-byte lead
        "\xe9\xbb",          // cut short
        "\xc3(",             // a lead without its continuation
    };
    for (const auto bytes : invalid) {
        SCOPED_TRACE(std::string(bytes));
        EXPECT_FALSE(decodeUtf8(bytes).has_value());
        EXPECT_FALSE(isValidUtf8("ok " + std::string(bytes)));
    }
    EXPECT_FALSE(decodeUtf8("").has_value());
    EXPECT_TRUE(isValidUtf8(""));
}

}  // namespace
}  // namespace ostrivane
