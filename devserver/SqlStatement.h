#pragma once

#include "SqlEngine.h"
#include "StoreError.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace devserver {

// One prepared SQLite statement. Texts are bound as BLOBs because they are
// Windows-1252 bytes, not UTF-8.
class SqlStatement final : public SqlQuery
{
public:
    SqlStatement(sqlite3 *db, std::string_view sql);
    ~SqlStatement() override;
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    SqlStatement &bind(int index, std::string_view bytes) override;
    SqlStatement &bind(int index, std::int64_t value) override;

    // Next row; false once done. Throws StoreError on failure.
    bool step() override;

    std::string bytes(int column) const override;
    std::int64_t integer(int column) const override;

    // Runs statements without parameters (schema changes, transactions).
    static void exec(sqlite3 *db, const char *sql);

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace devserver
