#pragma once

#include "SqlEngine.h"
#include "SqlStatement.h"

#include <mutex>
#include <string>

struct sqlite3;

namespace devserver {

// The service's database in one SQLite file: one connection, every use of
// it serialised by one mutex (recursive, so that a transaction can hold it
// across calls), so worker threads may share it. The schema version is the
// file's user_version.
class SqliteEngine final : public SqlEngine
{
public:
    explicit SqliteEngine(const std::string &path);
    ~SqliteEngine() override;

    Lease lease() override;
    void transaction(const std::function<void()> &work) override;
    int schemaVersion() override;
    void refuseReadOnly() override;

    static int migrationCount();

private:
    class Connection final : public SqlConnection
    {
    public:
        std::unique_ptr<SqlQuery> query(std::string_view sql) override
        {
            return std::make_unique<SqlStatement>(db, sql);
        }
        sqlite3 *db = nullptr;
    };

    void release(SqlConnection &) override { m_mutex.unlock(); }
    void migrate();
    int readVersion();

    std::recursive_mutex m_mutex;
    Connection m_connection;
};

} // namespace devserver
