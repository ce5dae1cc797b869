#pragma once

// Which files the history opens, and how. A symbolic link, a folder, a file
// that is not SQLite, an SQLite file of another program or of a newer
// version, and a damaged one are refused before a byte is written; a store of
// an older version is upgraded when it is opened for a run.

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <variant>

#include "history/sqlite_statement.h"

namespace ostrivane {

// Another run's transaction lasts milliseconds; this bounds the wait for one
// that hangs.
inline constexpr int kBusyTimeoutMs = 10000;

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

// For a check run: creates the folder and the file on first use, switches the
// file to a write-ahead log, creates or upgrades its tables. Or why the file
// cannot be a store.
std::variant<Connection, std::string> openStoreForWriting(const std::filesystem::path& path);

// For reading only: the file must exist and be a store of the current version.
std::variant<Connection, std::string> openStoreForReading(const std::filesystem::path& path);

// What an SQLite error means for the store: a full disk, a damaged file, a
// store another run held too long, or SQLite's own words.
std::string reasonOf(const sqlite::SqliteError& error);

}  // namespace ostrivane
