#pragma once

// The tables of the history store, how a file is recognised as one, and how a
// store of an older version is upgraded.

#include <sqlite3.h>

#include <cstdint>

namespace ostrivane::schema {

// PRAGMA application_id of every history store: "Ostv". An SQLite file with
// tables and another id belongs to another program and is never touched.
inline constexpr std::int64_t kApplicationId = 0x4F737476;

// Creates the tables of the current version in an empty database, inside the
// caller's transaction.
void create(sqlite3* db);

// Brings a store of an older version to the current one, inside the caller's
// transaction; its history is kept, the derived tables rebuilt from it.
void upgrade(sqlite3* db, int fromVersion);

// Version 2 to 3 (schema_upgrade.cpp): every result of every run becomes the
// counts of each run, the subjects' current state and the zones' changes.
void upgradeFromVersion2(sqlite3* db);

}  // namespace ostrivane::schema
