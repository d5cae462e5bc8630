#include "SqlStatement.h"

#include <sqlite3.h>

namespace devserver {

SqlStatement::SqlStatement(sqlite3 *db, std::string_view sql)
    : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr) != SQLITE_OK)
        throw StoreError(std::string("prepare: ") + sqlite3_errmsg(db));
}

SqlStatement::~SqlStatement()
{
    sqlite3_finalize(m_stmt);
}

SqlStatement &SqlStatement::bind(int index, std::string_view bytes)
{
    // A zero-length blob must not be bound as NULL: columns are NOT NULL.
    static const char empty = 0;
    const char *data = bytes.empty() ? &empty : bytes.data();
    if (sqlite3_bind_blob(m_stmt, index, data, static_cast<int>(bytes.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        throw StoreError(std::string("bind: ") + sqlite3_errmsg(m_db));
    return *this;
}

SqlStatement &SqlStatement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        throw StoreError(std::string("bind: ") + sqlite3_errmsg(m_db));
    return *this;
}

bool SqlStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw StoreError(std::string("step: ") + sqlite3_errmsg(m_db));
}

std::string SqlStatement::bytes(int column) const
{
    const void *data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (!data || size <= 0)
        return {};
    return std::string(static_cast<const char *>(data), static_cast<std::size_t>(size));
}

std::int64_t SqlStatement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

void SqlStatement::exec(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw StoreError("exec: " + text);
    }
}

} // namespace devserver
