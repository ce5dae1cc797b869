#include "history/sqlite_statement.h"

namespace ostrivane::sqlite {

void check(sqlite3* db, int code, std::string_view doing) {
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) {
        return;
    }
    std::string what(doing);
    what += ": ";
    what += db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw SqliteError(code, what);
}

void execute(sqlite3* db, std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    const int code = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        std::string what = message ? message : sqlite3_errstr(code);
        sqlite3_free(message);
        throw SqliteError(code, what);
    }
}

Statement::Statement(sqlite3* db, std::string_view sql) : m_db(db) {
    check(m_db,
          sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &m_statement, nullptr),
          "reading the store");
}

Statement::~Statement() {
    sqlite3_finalize(m_statement);
}

Statement& Statement::bind(int index, std::int64_t value) {
    check(m_db, sqlite3_bind_int64(m_statement, index, value), "reading the store");
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    check(m_db,
          sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT),
          "reading the store");
    return *this;
}

Statement& Statement::bind(int index, std::optional<std::int64_t> value) {
    return value ? bind(index, *value) : bindNull(index);
}

Statement& Statement::bindNull(int index) {
    check(m_db, sqlite3_bind_null(m_statement, index), "reading the store");
    return *this;
}

bool Statement::step() {
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    // The error of sqlite3_step is the one the reset reports with its message.
    sqlite3_reset(m_statement);
    check(m_db, code, "using the store");
    return false;
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

std::optional<std::int64_t> Statement::optionalInteger(int column) const {
    if (isNull(column)) {
        return std::nullopt;
    }
    return integer(column);
}

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size))
                 : std::string();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t queryInteger(sqlite3* db, std::string_view sql) {
    Statement statement(db, sql);
    return statement.step() ? statement.integer(0) : 0;
}

std::string queryText(sqlite3* db, std::string_view sql) {
    Statement statement(db, sql);
    return statement.step() ? statement.text(0) : std::string();
}

}  // namespace ostrivane::sqlite
