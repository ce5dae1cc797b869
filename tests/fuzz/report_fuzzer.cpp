// The report is often published as it stands, so no name, result or host text
// may add markup to it: read back as HTML, the page must have exactly the
// writer's own tags, and every value must come out of its cell unchanged.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/information_page.h"
#include "core/memory_table.h"
#include "fuzz_support.h"
#include "persist/report.h"

namespace {

using namespace ostrivane;

constexpr std::string_view kLinkOpening = "<a href=\"";

// What a browser would show for a piece of text, or nothing when the text holds
// markup of its own: a raw < or >, or an & that starts no character reference.
std::optional<std::string> decodeText(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kReferences{
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}}};
    std::string decoded;
    while (!text.empty()) {
        if (text.front() == '<' || text.front() == '>') {
            return std::nullopt;
        }
        if (text.front() != '&') {
            decoded += text.front();
            text.remove_prefix(1);
            continue;
        }
        bool known = false;
        for (const auto& [reference, character] : kReferences) {
            if (text.starts_with(reference)) {
                decoded += character;
                text.remove_prefix(reference.size());
                known = true;
                break;
            }
        }
        if (!known) {
            return std::nullopt;
        }
    }
    return decoded;
}

struct Tag {
    std::string_view markup;  // "<td>", or "<a>" for a link
    std::string href;         // decoded, links only
    std::string textAfter;    // decoded text up to the next tag
};

// The page as the tags the writer put there, each with the text that follows.
std::vector<Tag> readTags(std::string_view html) {
    const auto textEnd = std::min(html.find('<'), html.size());
    fuzz::check(textEnd == 0, "the report starts with a tag", html);

    std::vector<Tag> tags;
    while (!html.empty()) {
        const auto close = html.find('>');
        fuzz::check(close != std::string_view::npos, "every < is closed", html);
        std::string_view markup = html.substr(0, close + 1);
        Tag tag;
        if (markup.starts_with(kLinkOpening)) {
            fuzz::check(markup.ends_with("\">"), "a link's address is one quoted value", markup);
            const auto href = decodeText(
                markup.substr(kLinkOpening.size(), markup.size() - kLinkOpening.size() - 2));
            fuzz::check(href.has_value() && href->find('"') == std::string::npos,
                        "a link's address holds no markup", markup);
            tag.href = *href;
            markup = "<a>";
        }
        tag.markup = markup;
        html.remove_prefix(close + 1);

        const auto next = std::min(html.find('<'), html.size());
        const auto text = decodeText(html.substr(0, next));
        fuzz::check(text.has_value(), "text between tags holds no markup", html.substr(0, next));
        tag.textAfter = *text;
        html.remove_prefix(next);
        tags.push_back(std::move(tag));
    }
    return tags;
}

// Walks the tags in the order the report must have them.
class TagReader {
  public:
    explicit TagReader(const std::vector<Tag>& tags) : m_tags(tags) {}

    // The next tag, which must be `markup`; its text must be `text`.
    const Tag& expect(std::string_view markup, std::string_view text = {}) {
        const Tag& tag = next(markup);
        fuzz::check(tag.textAfter == text, "a cell shows its value unchanged", tag.textAfter);
        return tag;
    }

    // Between rows the text is nothing but line ends.
    const Tag& expectLineEnds(std::string_view markup) {
        const Tag& tag = next(markup);
        fuzz::check(tag.textAfter.find_first_not_of("\r\n") == std::string::npos,
                    "only line ends between the report's tags", tag.textAfter);
        return tag;
    }

    void expectEnd() const {
        fuzz::check(m_next == m_tags.size(), "nothing after </html>",
                    m_next < m_tags.size() ? m_tags[m_next].markup : "");
    }

  private:
    const Tag& next(std::string_view markup) {
        fuzz::check(m_next < m_tags.size(), "the report has all its tags", markup);
        const Tag& tag = m_tags[m_next++];
        fuzz::check(tag.markup == markup, "the report's tags come in order", tag.markup);
        return tag;
    }

    const std::vector<Tag>& m_tags;
    std::size_t m_next = 0;
};

void checkReport(const BlacklistTable& table, std::string_view server) {
    const std::string html = formatReport(table, server);
    const std::vector<Tag> tags = readTags(html);
    TagReader reader(tags);

    reader.expect("<html>", "\r\nServer: " + std::string(server));
    reader.expectLineEnds("<p>");
    reader.expectLineEnds("<table>");
    reader.expectLineEnds("<tr>");
    for (std::string_view heading : {"Blacklist", "Status", "Information URL"}) {
        reader.expect("<th>", heading);
        reader.expectLineEnds("</th>");
    }
    reader.expectLineEnds("</tr>");
    for (int row = 0; row < kRowCount; ++row) {
        const std::string name = table.name(row);
        reader.expectLineEnds("<tr>");
        reader.expect("<td>", "\r\n" + name);
        reader.expectLineEnds("</td>");
        reader.expect("<td>", "\r\n" + table.result(row) + "\r\n");
        reader.expectLineEnds("</td>");
        reader.expectLineEnds("<td>");
        if (!name.empty()) {
            const std::string page = informationPageFor(name);
            const Tag& link = reader.expect("<a>", page);
            fuzz::check(link.href == page, "a link opens the row's information page", link.href);
            reader.expectLineEnds("</a>");
        }
        reader.expectLineEnds("</td>");
        reader.expectLineEnds("</tr>");
    }
    reader.expectLineEnds("</table>");
    reader.expect("</html>", "\r\n");
    reader.expectEnd();
}

}  // namespace

// The input cut at NUL bytes: the host text, then name and result of row 0,
// of row 1, and so on; rows the input does not reach stay empty.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto values = fuzz::splitAtNul(fuzz::asText(data, size));
    const auto valueAt = [&](std::size_t index) {
        return index < values.size() ? values[index] : std::string_view{};
    };
    MemoryTable table;
    for (int row = 0; row < kRowCount; ++row) {
        const auto index = static_cast<std::size_t>(1 + 2 * row);
        table.setName(row, valueAt(index));
        table.setResult(row, valueAt(index + 1));
    }
    checkReport(table, valueAt(0));
    return 0;
}
