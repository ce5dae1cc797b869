#include "text/json_text.h"

#include <gtest/gtest.h>

namespace ostrivane {
namespace {

struct JsonStringCase {
    std::string_view text;
    std::string_view json;
};

TEST(JsonText, StringsStayValidJsonWhateverTheBytes) {
    const JsonStringCase cases[] = {
        {"plain", R"("plain")"},
        {R"(a "quoted" \ path)", R"("a \"quoted\" \\ path")"},
        {"\x1b[2J\n\t\x7f", R"("\u001b[2J\u000a\u0009\u007f")"},
        {std::string_view("nul\0", 4), R"("nul\u0000")"},
        {"f\xc3\xbcr \xe9\xbb\x91 \xf0\x9f\x98\x80",
         "\"f\xc3\xbcr \xe9\xbb\x91 \xf0\x9f\x98\x80\""},
        {"Latin-1 f\xfcr", R"("Latin-1 f\ufffdr")"},
        {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},  // a surrogate
        {"\xc0\xaf", R"("\ufffd\ufffd")"},            // an overlong slash
        {"cut \xe9\xbb", R"("cut \ufffd\ufffd")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(jsonString(c.text), c.json);
        // What we write, a strict parser reads back.
        EXPECT_TRUE(JsonDocument::accept(jsonString(c.text)));
    }
}

TEST(JsonText, DocumentsPutEachMemberAndEachBlockOnItsOwnLine) {
    JsonDocument document;
    document["name"] = "x\n";
    document["count"] = 3U;
    document["blocks"] = JsonDocument::array();
    document["blocks"].push_back({{"zone", "a"}, {"none", nullptr}});
    document["blocks"].push_back({{"zone", "b"}, {"list", {1, 2}}, {"ok", true}});
    document["empty"] = JsonDocument::array();
    document["words"] = {"a", "b"};
    document["summary"] = {{"z", -1}, {"a", 2}};
    EXPECT_EQ(jsonDocumentText(document),
              "{\n"
              "  \"name\": \"x\\u000a\",\n"
              "  \"count\": 3,\n"
              "  \"blocks\": [\n"
              "    {\"zone\": \"a\", \"none\": null},\n"
              "    {\"zone\": \"b\", \"list\": [1, 2], \"ok\": true}\n"
              "  ],\n"
              "  \"empty\": [],\n"
              "  \"words\": [\"a\", \"b\"],\n"
              "  \"summary\": {\"z\": -1, \"a\": 2}\n"
              "}\n");
    EXPECT_EQ(JsonDocument::parse(jsonDocumentText(document)), document);
}

}  // namespace
}  // namespace ostrivane
