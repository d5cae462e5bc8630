#pragma once

#include "StoreError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace devserver {

// One statement and its values, on the connection it was made on. The SQL
// numbers its placeholders ?1, ?2, ... whatever the engine; values are
// always bound, never pasted into SQL, and texts are bound as bytes because
// they are Windows-1252, not UTF-8.
class SqlQuery
{
public:
    virtual ~SqlQuery() = default;

    virtual SqlQuery &bind(int index, std::string_view bytes) = 0;
    virtual SqlQuery &bind(int index, std::int64_t value) = 0;

    // Runs the statement at the first call; then true for each row, false
    // once done. Throws StoreError on failure.
    virtual bool step() = 0;
    void run()
    {
        while (step()) { }
    }

    virtual std::string bytes(int column) const = 0;
    virtual std::int64_t integer(int column) const = 0;
};

class SqlConnection
{
public:
    virtual ~SqlConnection() = default;
    virtual std::unique_ptr<SqlQuery> query(std::string_view sql) = 0;
};

// The database behind the Store: a SQLite file that one service process
// uses, or a PostgreSQL database that several processes share. Both take
// the same statements; only the schema's types, the way the schema version
// is kept and how connections are shared differ.
class SqlEngine
{
public:
    // A connection for the calling thread until the lease ends; inside a
    // transaction, the transaction's own.
    class Lease
    {
    public:
        Lease(SqlEngine &engine, SqlConnection &connection)
            : m_engine(&engine)
            , m_connection(&connection)
        {
        }
        Lease(Lease &&other) noexcept
            : m_engine(other.m_engine)
            , m_connection(other.m_connection)
        {
            other.m_engine = nullptr;
        }
        Lease &operator=(Lease &&) = delete;
        ~Lease()
        {
            if (m_engine)
                m_engine->release(*m_connection);
        }

        std::unique_ptr<SqlQuery> query(std::string_view sql) const { return m_connection->query(sql); }
        SqlConnection &connection() const { return *m_connection; }

    private:
        SqlEngine *m_engine;
        SqlConnection *m_connection;
    };

    // PostgreSQL when `location` is a postgresql:// (or postgres://) URL,
    // else a SQLite file, created when missing. The schema is brought up to
    // date before this returns. Throws StoreError.
    static std::unique_ptr<SqlEngine> open(const std::string &location);
    static bool isPostgresUrl(std::string_view location);
    // `location` fit for a log line or a message: a URL's password masked.
    static std::string displayName(const std::string &location);
    // The number of migrations this program knows, the same for every engine.
    static int knownSchemaVersion();

    virtual ~SqlEngine() = default;
    SqlEngine() = default;
    SqlEngine(const SqlEngine &) = delete;
    SqlEngine &operator=(const SqlEngine &) = delete;

    virtual Lease lease() = 0;
    // Runs `work` as one transaction on one connection: everything it does
    // through lease() commits together, or nothing does when it throws.
    // Transactions are serialised, as if one writer at a time held the
    // whole database, across every process sharing it.
    virtual void transaction(const std::function<void()> &work) = 0;
    virtual int schemaVersion() = 0;
    // Throws StoreError when the engine can tell beforehand that nothing
    // will be written.
    virtual void refuseReadOnly() = 0;

protected:
    virtual void release(SqlConnection &connection) = 0;
};

} // namespace devserver
