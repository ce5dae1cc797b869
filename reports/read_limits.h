#pragma once

// The bounds that keep a hostile or broken report from taking the machine:
// each is checked while reading, before the bytes it bounds are taken.

#include <cstddef>

namespace ostrivane {

struct ReadLimits {
    // What one report's XML may be once unpacked (gzip, zip, base64): a zip
    // bomb stops here, counted as it is decompressed.
    std::size_t maxXmlBytes = std::size_t{64} << 20;
    // Elements within elements; a report nests five deep.
    int maxXmlDepth = 32;
    // An attachment as it stands in its message (base64 grows by a third),
    // since it is decoded into memory. A mail file itself has no cap: GMime
    // reads its parts from the file as they are needed.
    std::size_t maxAttachmentBytes = std::size_t{32} << 20;
};

}  // namespace ostrivane
