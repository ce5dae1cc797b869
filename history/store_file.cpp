#include "history/store_file.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "history/history_schema.h"
#include "history/history_store.h"

namespace ostrivane {

namespace {

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};

enum class FileKind { Missing, Empty, Sqlite };
using Inspection = std::variant<FileKind, std::string>;  // or why it is refused

// Looks at the file before SQLite does: SQLite would take a file that is not
// a database for a new one as long as nothing is written, and the first write
// would destroy what the file held.
// A link at the store's path or at one of SQLite's files beside it would
// make the check write wherever the link points: into another store, or turn
// any file into a database.
std::optional<std::string> linkRefusal(const std::filesystem::path& path) {
    for (const char* suffix : {"", "-wal", "-journal", "-shm"}) {
        const std::filesystem::path file = path.string() + suffix;
        std::error_code error;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, error))) {
            return (*suffix ? "has a symbolic link beside it, " + file.string() + "; "
                            : std::string("is a symbolic link; ")) +
                   "a history is never written through a link";
        }
    }
    return std::nullopt;
}

Inspection inspectFile(const std::filesystem::path& path) {
    if (auto refusal = linkRefusal(path)) {
        return *refusal;
    }
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return FileKind::Missing;
    }
    if (error) {
        return error.message();
    }
    if (status.type() == std::filesystem::file_type::directory) {
        return std::string("is a folder, not a file");
    }
    if (status.type() != std::filesystem::file_type::regular) {
        return std::string("is not a regular file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::string("cannot be read: ") + std::strerror(errno);
    }
    std::array<char, 16> header{};
    in.read(header.data(), header.size());
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) {
        return FileKind::Empty;
    }
    if (got < header.size() || std::string_view(header.data(), header.size()) != kSqliteMagic) {
        return std::string(
            "is not an SQLite database (it does not begin with \"SQLite format 3\")");
    }
    return FileKind::Sqlite;
}

struct Layout {
    std::int64_t tables = 0;
    std::int64_t applicationId = 0;
    std::int64_t version = 0;
};

Layout layoutOf(sqlite3* db) {
    return {sqlite::queryInteger(db, "SELECT count(*) FROM sqlite_schema"),
            sqlite::queryInteger(db, "PRAGMA application_id"),
            sqlite::queryInteger(db, "PRAGMA user_version")};
}

// An empty database that no program has claimed. Another program's empty
// database carries its own application id and is not taken over.
bool isFresh(const Layout& layout) {
    return layout.tables == 0 && layout.version == 0 && layout.applicationId == 0;
}

// A damaged page is found before anything is written: the file is refused as
// it is.
std::optional<std::string> damage(sqlite3* db) {
    sqlite::Statement check(db, "PRAGMA quick_check(5)");
    std::string found;
    while (check.step()) {
        const std::string line = check.text(0);
        if (line != "ok") {
            found += (found.empty() ? "" : "; ") + line;
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    return "is damaged (" + found + ")";
}

// Why a database with this layout is not a store this program may use, if it is not.
std::optional<std::string> refusalOf(const Layout& layout) {
    if (isFresh(layout)) {
        return std::nullopt;
    }
    if (layout.applicationId != schema::kApplicationId) {
        return "is an SQLite database of another program (application id " +
               std::to_string(layout.applicationId) + "), not an Ostrivane history";
    }
    if (layout.version > kHistorySchemaVersion) {
        return "was written by a newer Ostrivane (history version " +
               std::to_string(layout.version) + "; this one knows up to " +
               std::to_string(kHistorySchemaVersion) + ")";
    }
    if (layout.version < 1) {
        return "has no history version";
    }
    return std::nullopt;
}

// Refuses a file that is not this program's store; else switches it to a
// write-ahead log and creates or upgrades its tables. Reading the layout is the
// first thing that touches the pages: a damaged file fails there, before
// anything is written to it.
std::optional<std::string> prepareForWriting(sqlite3* db) {
    const Layout layout = layoutOf(db);
    if (auto refusal = refusalOf(layout)) {
        return refusal;
    }
    if (auto damaged = damage(db)) {
        return damaged;
    }
    if (sqlite::queryText(db, "PRAGMA journal_mode") != "wal" &&
        sqlite::queryText(db, "PRAGMA journal_mode = WAL") != "wal") {
        return "cannot keep a write-ahead log beside it";
    }
    // The log is emptied at each checkpoint; this keeps its file small too.
    sqlite::execute(db, "PRAGMA synchronous = NORMAL; PRAGMA journal_size_limit = 1048576");
    if (layout.version != kHistorySchemaVersion) {
        sqlite::Transaction transaction(db, "BEGIN IMMEDIATE");
        const Layout now = layoutOf(db);
        if (auto refusal = refusalOf(now)) {
            return refusal;
        }
        if (isFresh(now)) {
            schema::create(db);
        } else if (now.version < kHistorySchemaVersion) {
            schema::upgrade(db, static_cast<int>(now.version));
        }
        transaction.commit();
        if (now.version == 2) {
            // The dropped results leave most pages free: give them back once.
            // The store works as well when this fails (the disk is full).
            sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
        }
    }
    return std::nullopt;
}

// The connection, or why SQLite could not open the file.
std::variant<Connection, std::string> openConnection(const std::filesystem::path& path, int flags) {
    sqlite3* db = nullptr;
    if (const int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr); code != SQLITE_OK) {
        std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
        sqlite3_close(db);
        return "cannot be opened: " + reason;
    }
    Connection connection(db);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return connection;
}

}  // namespace

std::string reasonOf(const sqlite::SqliteError& error) {
    switch (error.code() & 0xff) {
        case SQLITE_FULL:
            return "the disk is full (" + std::string(error.what()) + ")";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return "is damaged (" + std::string(error.what()) + ")";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "another run held it for more than " + std::to_string(kBusyTimeoutMs / 1000) +
                   " s (" + std::string(error.what()) + ")";
        default:
            return error.what();
    }
}

std::variant<Connection, std::string> openStoreForWriting(const std::filesystem::path& path) {
    const Inspection inspection = inspectFile(path);
    if (const auto* refusal = std::get_if<std::string>(&inspection)) {
        return *refusal;
    }
    const bool missing = std::get<FileKind>(inspection) == FileKind::Missing;
    if (missing && path.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            return "cannot create the folder " + path.parent_path().string() + ": " +
                   error.message();
        }
    }
    auto opened = openConnection(
        path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | (missing ? SQLITE_OPEN_CREATE : 0));
    if (std::holds_alternative<std::string>(opened)) {
        return opened;
    }
    sqlite3* db = std::get<Connection>(opened).get();
    if (sqlite3_db_readonly(db, "main") == 1) {
        return std::string("cannot be written (no permission to write it)");
    }
    // Two first runs at once race to make the tables and to switch the file
    // to its write-ahead log; SQLite answers the loser "busy" at once, without
    // waiting, so the loser waits here and looks again.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        try {
            if (auto refusal = prepareForWriting(db)) {
                return *refusal;
            }
            return opened;
        } catch (const sqlite::SqliteError& error) {
            const int code = error.code() & 0xff;
            if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
                std::chrono::steady_clock::now() > deadline) {
                return reasonOf(error);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::variant<Connection, std::string> openStoreForReading(const std::filesystem::path& path) {
    constexpr std::string_view kEmpty = "holds no history yet (no check has recorded a run in it)";
    const Inspection inspection = inspectFile(path);
    if (const auto* refusal = std::get_if<std::string>(&inspection)) {
        return *refusal;
    }
    if (std::get<FileKind>(inspection) != FileKind::Sqlite) {
        return std::string(kEmpty);
    }
    auto opened = openConnection(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW);
    if (std::holds_alternative<std::string>(opened)) {
        return opened;
    }
    sqlite3* db = std::get<Connection>(opened).get();
    try {
        const Layout layout = layoutOf(db);
        if (isFresh(layout)) {
            return std::string(kEmpty);
        }
        if (auto refusal = refusalOf(layout)) {
            return *refusal;
        }
        if (auto damaged = damage(db)) {
            return *damaged;
        }
        if (layout.version < kHistorySchemaVersion) {
            return "is of an older history version (" + std::to_string(layout.version) +
                   "); the next check run upgrades it";
        }
    } catch (const sqlite::SqliteError& error) {
        return reasonOf(error);
    }
    return opened;
}

}  // namespace ostrivane
