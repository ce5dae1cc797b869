#pragma once

// Fetching a key holder's two SNDS files over HTTPS: the certificate checked
// against the system's CA store (or a CA file of one's own), each response
// bounded in size and time, no redirect followed. The key is a secret: it
// goes into the request and nowhere else, so no error names it.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

namespace ostrivane {

inline constexpr std::string_view kSndsBaseUrl =
    "https://sendersupport.olc.protection.outlook.com/snds/";

struct SndsFetchSettings {
    std::string baseUrl{kSndsBaseUrl};  // https only; "ipStatus.aspx" and "data.aspx" follow it
    std::string key;
    std::chrono::seconds timeout{60};              // for each file, from the start of its request
    std::filesystem::path caFile;                  // empty: the system's CA store
    std::size_t maxBytes = std::size_t{32} << 20;  // each file
};

struct SndsFiles {
    std::string ipStatusCsv;
    std::string dataCsv;
};

// Both files, or why not: "SNDS at https://host/snds/data.aspx (key hidden): HTTP 403".
std::variant<SndsFiles, std::string> fetchSnds(const SndsFetchSettings& settings);

}  // namespace ostrivane
