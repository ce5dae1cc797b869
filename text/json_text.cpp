#include "text/json_text.h"

#include <algorithm>

#include "text/hex.h"
#include "text/utf8.h"

namespace ostrivane {

namespace {

void appendLine(std::string& json, const JsonDocument& value) {
    if (value.is_object()) {
        json += '{';
        for (auto member = value.begin(); member != value.end(); ++member) {
            json += (member == value.begin() ? "" : ", ") + jsonString(member.key()) + ": ";
            appendLine(json, member.value());
        }
        json += '}';
    } else if (value.is_array()) {
        json += '[';
        for (auto element = value.begin(); element != value.end(); ++element) {
            json += element == value.begin() ? "" : ", ";
            appendLine(json, *element);
        }
        json += ']';
    } else if (value.is_string()) {
        json += jsonString(value.get_ref<const std::string&>());
    } else {
        json += value.dump();
    }
}

bool isListOfBlocks(const JsonDocument& value) {
    return value.is_array() && !value.empty() &&
           std::all_of(value.begin(), value.end(),
                       [](const JsonDocument& e) { return e.is_object() || e.is_array(); });
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string json = "\"";
    forEachCharacter(
        text,
        [&json](char32_t c, std::string_view bytes) {
            if (c == '"' || c == '\\') {
                json += '\\';
                json += static_cast<char>(c);
            } else if (c < 0x20 || c == 0x7F) {
                json += "\\u" + lowerHex(static_cast<unsigned>(c), 4);
            } else {
                json += bytes;
            }
        },
        [&json](unsigned char) { json += "\\ufffd"; });
    return json + "\"";
}

std::string jsonLine(const JsonDocument& value) {
    std::string json;
    appendLine(json, value);
    return json;
}

std::string jsonDocumentText(const JsonDocument& document) {
    if (!document.is_object() || document.empty()) {
        return jsonLine(document) + "\n";
    }
    std::string json = "{";
    for (auto member = document.begin(); member != document.end(); ++member) {
        json += (member == document.begin() ? "\n  " : ",\n  ") + jsonString(member.key()) + ": ";
        if (!isListOfBlocks(member.value())) {
            appendLine(json, member.value());
            continue;
        }
        json += '[';
        for (auto element = member->begin(); element != member->end(); ++element) {
            json += (element == member->begin() ? "\n    " : ",\n    ") + jsonLine(*element);
        }
        json += "\n  ]";
    }
    return json + "\n}\n";
}

}  // namespace ostrivane
