#include "catalog/key_zone.h"

#include <cstdlib>
#include <utility>

namespace ostrivane {

namespace {

constexpr std::string_view kKeyLabel = "{key}";

}  // namespace

std::string printableKeyZone(std::string_view keyZone) {
    std::string shown(keyZone);
    const auto at = shown.find(kKeyLabel);
    if (at == std::string::npos) {
        return shown;
    }
    // The label and one dot beside it go: "{key}.zen.dq…" and "…zone.{key}" alike.
    const bool dotAfter =
        at + kKeyLabel.size() < shown.size() && shown[at + kKeyLabel.size()] == '.';
    const bool dotBefore = at > 0 && shown[at - 1] == '.';
    if (dotAfter) {
        shown.erase(at, kKeyLabel.size() + 1);
    } else if (dotBefore) {
        shown.erase(at - 1, kKeyLabel.size() + 1);
    } else {
        shown.erase(at, kKeyLabel.size());
    }
    return shown;
}

KeyedZone zoneFor(const CatalogList& list, const ProviderKeys& keys) {
    const auto key = keys.find(list.provider);
    if (list.keyZone.empty() || key == keys.end() || key->second.empty()) {
        return {list.zone, list.zone, false};
    }
    std::string asked = list.keyZone;
    asked.replace(asked.find(kKeyLabel), kKeyLabel.size(), key->second);
    return {std::move(asked), printableKeyZone(list.keyZone), true};
}

std::string keyVariableName(std::string_view provider) {
    std::string name = "OSTRIVANE_KEY_";
    for (char c : provider) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        name += !alnum ? '_' : (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    return name;
}

bool isValidKey(std::string_view key) {
    if (key.empty() || key.size() > 63) {
        return false;
    }
    for (char c : key) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && c != '-') {
            return false;
        }
    }
    return true;
}

ProviderKeys keysFromEnvironment(const Catalog& catalog, ProviderKeys keys) {
    for (const auto& list : catalog.lists()) {
        if (list.keyZone.empty()) {
            continue;
        }
        if (const char* value = std::getenv(keyVariableName(list.provider).c_str());
            value != nullptr && *value) {
            keys.insert_or_assign(list.provider, value);
        }
    }
    return keys;
}

std::string redactKeys(std::string text, const ProviderKeys& keys) {
    for (const auto& [provider, key] : keys) {
        if (key.empty()) {
            continue;
        }
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + 3)) {
            text.replace(at, key.size(), "KEY");
        }
    }
    return text;
}

}  // namespace ostrivane
