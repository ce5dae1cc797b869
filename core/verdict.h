#pragma once

#include <string>

#include "core/blacklist_table.h"
#include "core/resolver.h"

namespace ostrivane {

enum class RowVerdictKind { NotListed, Listed, ListError, NoAnswer };

struct RowVerdict {
    RowVerdictKind kind = RowVerdictKind::NotListed;
    std::string text;
    RowHighlight highlight = RowHighlight::Plain;
};

inline constexpr std::string_view kQuerying = "Querying...";
inline constexpr std::string_view kListedPrefix = "Listed: ";
inline constexpr std::string_view kNotFound = "Not Found";
inline constexpr std::string_view kLookupFailed = "Lookup failed";
inline constexpr std::string_view kListErrorPrefix = "List error: ";
// The rows of a list that its test points show broken (core/test_points.h).
inline constexpr std::string_view kListsEverything = "List error: lists everything";
inline constexpr std::string_view kNotAWorkingList = "List error: not a working list";

// An answer in 127.0.0.0/8 counts as listed, except the lists' own error
// codes (127.255.255.0/24); every other answer is a list error. No answer
// because the resolver failed is kept apart from "Not Found".
RowVerdict verdictFor(const Resolution& answer);

// The kind of verdict that a result cell's text shows (empty text: NotListed).
RowVerdictKind verdictKindOf(std::string_view resultText);

}  // namespace ostrivane
