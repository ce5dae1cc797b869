#pragma once

// JSON as the monitoring outputs write it. Documents are built with
// nlohmann-json (ordered, so members keep the order they were added in) and
// written here, because the layout and the escapes are part of what scripts
// and the tests rely on, and nlohmann's own writer does neither our way: it
// writes \n where we write \u000a, leaves DEL as it is, and either escapes all
// non-ASCII text or writes U+FFFD unescaped for bytes that are not UTF-8.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ostrivane {

using JsonDocument = nlohmann::ordered_json;

// A JSON string: " and \ escaped, control characters and DEL as \u00hh,
// valid UTF-8 kept as it is, and each byte that is not part of valid UTF-8 as
// \ufffd, so the document stays valid whatever a list's TXT record holds.
std::string jsonString(std::string_view text);

// The value on one line: {"key": value, ...} and [value, ...], with a blank
// after each colon and comma; numbers, booleans and null as nlohmann writes
// them.
std::string jsonLine(const JsonDocument& value);

// A document for people and scripts alike: a top-level object with one member
// per line, indented by two; a member that is a non-empty array of objects or
// arrays gets one element per line, indented by four; everything else is on
// its member's line (see jsonLine). Ends with a line break.
std::string jsonDocumentText(const JsonDocument& document);

}  // namespace ostrivane
