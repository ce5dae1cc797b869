#pragma once

// A thin layer over the SQLite calls the store makes. A failed call throws
// SqliteError, which the store's public functions catch and turn into a
// HistoryProblem: the error never leaves the library as an exception.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ostrivane::sqlite {

class SqliteError : public std::runtime_error {
  public:
    SqliteError(int code, const std::string& what) : std::runtime_error(what), m_code(code) {}
    int code() const { return m_code; }

  private:
    int m_code;
};

// Throws SqliteError with the connection's message unless `code` is one of the ok ones.
void check(sqlite3* db, int code, std::string_view doing);

// Runs statements that return no rows.
void execute(sqlite3* db, std::string_view sql);

class Statement {
  public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters count from 1, as SQLite counts them.
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, std::optional<std::int64_t> value);
    Statement& bindNull(int index);

    // True while there is a row to read.
    bool step();
    // Runs a statement that returns no rows, then resets it for the next use.
    void run();
    void reset();

    std::int64_t integer(int column) const;
    std::optional<std::int64_t> optionalInteger(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

  private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

// Commits on success; rolls back when left by an exception.
class Transaction {
  public:
    Transaction(sqlite3* db, std::string_view begin) : m_db(db) { execute(db, begin); }
    ~Transaction() {
        if (!m_done && sqlite3_get_autocommit(m_db) == 0) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        execute(m_db, "COMMIT");
        m_done = true;
    }

  private:
    sqlite3* m_db;
    bool m_done = false;
};

// One value from a query such as "PRAGMA user_version".
std::int64_t queryInteger(sqlite3* db, std::string_view sql);
std::string queryText(sqlite3* db, std::string_view sql);

}  // namespace ostrivane::sqlite
