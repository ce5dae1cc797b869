#pragma once

// What a file or attachment holds, told from its first bytes rather than its
// name: reports arrive as "report.zip" that are gzip, and as mail saved
// without an extension.

#include <cstdint>
#include <string_view>

namespace ostrivane {

enum class InputForm : std::uint8_t {
    Empty,
    Xml,
    Gzip,
    Zip,
    Mbox,  // messages, each after a "From " line
    Mail,  // one message: header fields first
    Unknown,
};

// From the first bytes (a few hundred are plenty).
InputForm inputFormOf(std::string_view head);

}  // namespace ostrivane
