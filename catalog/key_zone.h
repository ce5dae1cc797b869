#pragma once

// Keys for lists that answer through a key (Spamhaus DQS, Abusix): the zone
// that carries the key, and the same zone without it for every place a zone
// is shown. A key is never printed: the history, the page, the output and
// error messages only ever see the printable zone.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/catalog.h"

namespace ostrivane {

// The zone a list is asked with: its key template filled in when there is a
// key for its provider, else its zone. `asked` holds the key; `shown` never.
struct KeyedZone {
    std::string asked;
    std::string shown;
    bool keyed = false;
};

// Keys by provider, lower case ("spamhaus").
using ProviderKeys = std::map<std::string, std::string, std::less<>>;

KeyedZone zoneFor(const CatalogList& list, const ProviderKeys& keys);

// The template without its key label: "{key}.zen.dq.spamhaus.net" ->
// "zen.dq.spamhaus.net".
std::string printableKeyZone(std::string_view keyZone);

// "OSTRIVANE_KEY_SPAMHAUS" for "spamhaus": upper case, anything but a letter
// or digit as "_".
std::string keyVariableName(std::string_view provider);

// A key must be one DNS label: letters, digits and "-", 1 to 63 characters.
bool isValidKey(std::string_view key);

// Keys from the environment for the catalog's providers, over `keys`.
ProviderKeys keysFromEnvironment(const Catalog& catalog, ProviderKeys keys);

// Replaces every occurrence of each key in `text` with "KEY", so that an
// error message or a log line built from a zone cannot carry one.
std::string redactKeys(std::string text, const ProviderKeys& keys);

}  // namespace ostrivane
