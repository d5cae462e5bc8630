#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace devserver {

// Any failure of the database; the service answers it as a service error.
class StoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One prepared statement. Values are always bound, never pasted into SQL;
// texts are bound as BLOBs because they are Windows-1252 bytes, not UTF-8.
class SqlStatement
{
public:
    SqlStatement(sqlite3 *db, std::string_view sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    SqlStatement &bind(int index, std::string_view bytes);
    SqlStatement &bind(int index, std::int64_t value);

    // Next row; false once done. Throws StoreError on failure.
    bool step();
    void run()
    {
        while (step()) { }
    }

    std::string bytes(int column) const;
    std::int64_t integer(int column) const;

    // Runs statements without parameters (schema changes, transactions).
    static void exec(sqlite3 *db, const char *sql);

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace devserver
