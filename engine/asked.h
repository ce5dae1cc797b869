#pragma once

// What the engine is asked about: the zones, each as it is asked (a key
// inside, for a list asked through one), and the addresses, each with the
// target that gave it.

#include <string>
#include <vector>

#include "core/ip_address.h"

namespace ostrivane {

// A zone as the run asks it: `zone` carries a list's key when the list is
// asked through one (catalog/key_zone.h); the results show it without.
struct AskedZone {
    std::string zone;
    std::string name;  // the list file's name for it; empty for --zone
    // A list of the catalog: the catalog says which of its answers are errors
    // (check/catalog_lists.h), so no code of the engine's own is applied.
    bool decodedByCatalog = false;
};

struct CheckAddress {
    std::string target;  // the first target that gave the address
    IpAddress address;
    std::vector<std::string> via;  // how mail targets reached it, each way once
};

}  // namespace ostrivane
