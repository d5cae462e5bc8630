#include "PostgresEngine.h"

#include <libpq-fe.h>

#include <endian.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace devserver {

namespace {

struct Migration
{
    const char *name;
    const char *sql;
};

// Generated from the files of migrations/postgresql/, in file-name order;
// the same names as for SQLite, one migration each.
const Migration kMigrations[] = {
#include "MigrationsPostgresql.inc"
};

// Type numbers of the server's built-in types (fixed, part of its wire
// protocol).
constexpr Oid kBool = 16;
constexpr Oid kBytea = 17;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;

// Advisory locks (per database, so other databases on the same server are
// not held up): one while the schema is migrated, one per transaction.
constexpr const char *kMigrationLock = "SELECT pg_advisory_xact_lock(1987148908, 1)";
constexpr const char *kTransactionLock = "SELECT pg_advisory_xact_lock(1987148908, 2)";

struct ResultDeleter
{
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string trimmed(const char *message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "unknown error" : text;
}

// "?1" becomes "$1": one way of writing statements for both engines.
std::string withDollarPlaceholders(std::string_view sql)
{
    std::string out(sql);
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] == '\'')
            quoted = !quoted;
        else if (!quoted && out[i] == '?' && out[i + 1] >= '0' && out[i + 1] <= '9')
            out[i] = '$';
    }
    return out;
}

} // namespace

class PostgresEngine::Connection final : public SqlConnection
{
public:
    explicit Connection(PGconn *conn)
        : m_conn(conn)
    {
    }
    ~Connection() override { PQfinish(m_conn); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    std::unique_ptr<SqlQuery> query(std::string_view sql) override;

    // A statement without parameters (transactions, schema changes).
    Result exec(const std::string &sql)
    {
        Result r(PQexec(m_conn, sql.c_str()));
        check(r.get());
        return r;
    }
    void rollbackQuietly() { PQclear(PQexec(m_conn, "ROLLBACK")); }

    // Runs `sql` with these parameters, prepared once per connection and
    // list of parameter types; results come in binary.
    Result run(const std::string &sql, const std::vector<Oid> &types, const std::vector<const char *> &values,
        const std::vector<int> &lengths, const std::vector<int> &formats)
    {
        std::string key = sql;
        for (const Oid t : types)
            key += "|" + std::to_string(t);
        auto it = m_prepared.find(key);
        if (it == m_prepared.end()) {
            const std::string name = "voxlane_" + std::to_string(m_prepared.size() + 1);
            Result prepared(
                PQprepare(m_conn, name.c_str(), sql.c_str(), static_cast<int>(types.size()), types.data()));
            check(prepared.get());
            it = m_prepared.emplace(std::move(key), name).first;
        }
        Result r(PQexecPrepared(m_conn, it->second.c_str(), static_cast<int>(values.size()), values.data(),
            lengths.data(), formats.data(), 1));
        check(r.get());
        return r;
    }

    // An idle connection has nothing to read: whatever the server sent
    // meanwhile is its goodbye (a restart, an administrator) or the end of
    // the connection itself.
    bool stillOpen() const
    {
        pollfd p { PQsocket(m_conn), POLLIN, 0 };
        return PQstatus(m_conn) == CONNECTION_OK && p.fd >= 0 && ::poll(&p, 1, 0) == 0;
    }

    // Fit to lend again: still connected and outside any transaction.
    bool reusable() const
    {
        return PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    }

private:
    void check(const PGresult *r) const
    {
        const auto status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            return;
        throw StoreError("postgresql: " + trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(m_conn)));
    }

    PGconn *m_conn;
    std::unordered_map<std::string, std::string> m_prepared;
};

class PostgresEngine::Query final : public SqlQuery
{
public:
    Query(Connection &connection, std::string_view sql)
        : m_connection(connection)
        , m_sql(withDollarPlaceholders(sql))
    {
    }

    Query &bind(int index, std::string_view bytes) override
    {
        Param &p = slot(index);
        p.type = kBytea;
        p.value.assign(bytes.data(), bytes.size());
        return *this;
    }

    Query &bind(int index, std::int64_t value) override
    {
        Param &p = slot(index);
        p.type = kInt8;
        const std::uint64_t big = htobe64(static_cast<std::uint64_t>(value));
        p.value.assign(reinterpret_cast<const char *>(&big), sizeof big);
        return *this;
    }

    bool step() override
    {
        if (!m_result) {
            std::vector<Oid> types;
            std::vector<const char *> values;
            std::vector<int> lengths;
            std::vector<int> formats;
            for (std::size_t i = 0; i < m_params.size(); ++i) {
                if (m_params[i].type == 0)
                    throw StoreError("postgresql: parameter " + std::to_string(i + 1) + " not bound");
                types.push_back(m_params[i].type);
                values.push_back(m_params[i].value.data());
                lengths.push_back(static_cast<int>(m_params[i].value.size()));
                formats.push_back(1);
            }
            m_result = m_connection.run(m_sql, types, values, lengths, formats);
        }
        return ++m_row < PQntuples(m_result.get());
    }

    std::string bytes(int column) const override
    {
        checkCell(column);
        return std::string(PQgetvalue(m_result.get(), m_row, column),
            static_cast<std::size_t>(PQgetlength(m_result.get(), m_row, column)));
    }

    std::int64_t integer(int column) const override
    {
        checkCell(column);
        const char *v = PQgetvalue(m_result.get(), m_row, column);
        const int length = PQgetlength(m_result.get(), m_row, column);
        const Oid type = PQftype(m_result.get(), column);
        if (type == kInt8 && length == 8) {
            std::uint64_t big;
            std::memcpy(&big, v, 8);
            return static_cast<std::int64_t>(be64toh(big));
        }
        if (type == kInt4 && length == 4) {
            std::uint32_t big;
            std::memcpy(&big, v, 4);
            return static_cast<std::int32_t>(be32toh(big));
        }
        if (type == kInt2 && length == 2) {
            std::uint16_t big;
            std::memcpy(&big, v, 2);
            return static_cast<std::int16_t>(be16toh(big));
        }
        if (type == kBool && length == 1)
            return v[0] ? 1 : 0;
        throw StoreError("postgresql: column " + std::to_string(column) + " is not an integer");
    }

private:
    struct Param
    {
        Oid type = 0;
        std::string value;
    };

    Param &slot(int index)
    {
        if (index < 1 || index > 64)
            throw StoreError("postgresql: no parameter " + std::to_string(index));
        if (m_params.size() < static_cast<std::size_t>(index))
            m_params.resize(static_cast<std::size_t>(index));
        return m_params[static_cast<std::size_t>(index) - 1];
    }

    void checkCell(int column) const
    {
        if (!m_result || m_row < 0 || m_row >= PQntuples(m_result.get()) || column < 0
            || column >= PQnfields(m_result.get()))
            throw StoreError("postgresql: no such cell");
        if (PQgetisnull(m_result.get(), m_row, column))
            throw StoreError("postgresql: unexpected NULL in column " + std::to_string(column));
    }

    Connection &m_connection;
    std::string m_sql;
    std::vector<Param> m_params;
    Result m_result;
    int m_row = -1;
};

std::unique_ptr<SqlQuery> PostgresEngine::Connection::query(std::string_view sql)
{
    return std::make_unique<Query>(*this, sql);
}

PostgresEngine::PostgresEngine(const std::string &url)
    : m_url(url)
{
    migrate();
}

PostgresEngine::~PostgresEngine() = default;

int PostgresEngine::migrationCount()
{
    return static_cast<int>(std::size(kMigrations));
}

std::unique_ptr<PostgresEngine::Connection> PostgresEngine::connect() const
{
    // Entries before "dbname" are defaults the URL may override.
    const char *const keys[] = { "connect_timeout", "fallback_application_name", "dbname", nullptr };
    const char *const values[] = { "10", "voxlane-devserver", m_url.c_str(), nullptr };
    PGconn *conn = PQconnectdbParams(keys, values, 1);
    if (!conn)
        throw StoreError("cannot connect to " + displayName(m_url) + ": out of memory");
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string message = trimmed(PQerrorMessage(conn));
        PQfinish(conn);
        throw StoreError("cannot connect to " + displayName(m_url) + ": " + message);
    }
    // Notices ("already exists, skipping" and the like) are not errors and
    // would otherwise go to standard error.
    PQsetNoticeProcessor(
        conn, [](void *, const char *) {}, nullptr);
    return std::make_unique<Connection>(conn);
}

SqlEngine::Lease PostgresEngine::lease()
{
    std::unique_lock lock(m_mutex);
    if (const auto it = m_transactions.find(std::this_thread::get_id()); it != m_transactions.end())
        return Lease(*this, *it->second);
    m_released.wait(lock, [this] { return !m_idle.empty() || m_open < kMaxConnections; });
    while (!m_idle.empty()) {
        std::unique_ptr<Connection> c = std::move(m_idle.back());
        m_idle.pop_back();
        if (c->stillOpen())
            return Lease(*this, *c.release());
        // The server closed it while it was idle (a restart): a fresh one
        // instead, rather than a failed request.
        --m_open;
    }
    ++m_open;
    lock.unlock();
    try {
        return Lease(*this, *connect().release());
    } catch (...) {
        lock.lock();
        --m_open;
        m_released.notify_one();
        throw;
    }
}

void PostgresEngine::release(SqlConnection &connection)
{
    std::lock_guard lock(m_mutex);
    auto *c = static_cast<Connection *>(&connection);
    if (const auto it = m_transactions.find(std::this_thread::get_id());
        it != m_transactions.end() && it->second == c)
        return; // transaction() gives it back when it ends
    std::unique_ptr<Connection> owned(c);
    if (owned->reusable()) {
        m_idle.push_back(std::move(owned));
    } else {
        // Broken (the server restarted, the network dropped): the next
        // lease opens a fresh one.
        --m_open;
    }
    m_released.notify_one();
}

void PostgresEngine::transaction(const std::function<void()> &work)
{
    const auto self = std::this_thread::get_id();
    {
        std::lock_guard lock(m_mutex);
        if (m_transactions.count(self))
            throw StoreError("postgresql: a transaction inside a transaction");
    }
    Lease lease = this->lease();
    auto &c = static_cast<Connection &>(lease.connection());
    c.exec("BEGIN");
    {
        std::lock_guard lock(m_mutex);
        m_transactions[self] = &c;
    }
    struct Done
    {
        PostgresEngine &engine;
        std::thread::id self;
        ~Done()
        {
            std::lock_guard lock(engine.m_mutex);
            engine.m_transactions.erase(self);
        }
    } done { *this, self };
    try {
        // Transactions take turns, across every process on this database,
        // as writers do on a SQLite file: a check made at the start of one
        // (the demo's marker) still holds at its end.
        c.exec(kTransactionLock);
        work();
        c.exec("COMMIT");
    } catch (...) {
        c.rollbackQuietly();
        throw;
    }
}

int PostgresEngine::schemaVersion()
{
    const Lease lease = this->lease();
    return versionOn(static_cast<Connection &>(lease.connection()));
}

int PostgresEngine::versionOn(Connection &c)
{
    const Result r = c.exec("SELECT version FROM schema_version");
    if (PQntuples(r.get()) != 1)
        throw StoreError("postgresql: schema_version has " + std::to_string(PQntuples(r.get())) + " rows");
    return std::atoi(PQgetvalue(r.get(), 0, 0));
}

void PostgresEngine::migrate()
{
    const Lease lease = this->lease();
    auto &c = static_cast<Connection &>(lease.connection());
    // Read first without writing anything, so that a database already up
    // to date also opens for a role that may only read (the write check
    // then says why the start stops).
    const Result exists = c.exec("SELECT to_regclass('schema_version') IS NOT NULL");
    if (std::strcmp(PQgetvalue(exists.get(), 0, 0), "t") == 0 && versionOn(c) == migrationCount())
        return;
    for (;;) {
        // Each migration and its version bump commit together. Instances
        // starting at the same moment queue on the lock; each reads the
        // version only once it holds it.
        c.exec("BEGIN");
        try {
            c.exec(kMigrationLock);
            c.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
            c.exec("INSERT INTO schema_version (version) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM "
                   "schema_version)");
            const int current = versionOn(c);
            if (current > migrationCount())
                throw StoreError("database schema " + std::to_string(current)
                    + " is newer than this program (" + std::to_string(migrationCount()) + ")");
            if (current == migrationCount()) {
                c.exec("COMMIT");
                return;
            }
            try {
                c.exec(kMigrations[current].sql);
            } catch (const StoreError &e) {
                throw StoreError(std::string(kMigrations[current].name) + ": " + e.what());
            }
            c.exec("UPDATE schema_version SET version = " + std::to_string(current + 1));
            c.exec("COMMIT");
        } catch (...) {
            c.rollbackQuietly();
            throw;
        }
    }
}

} // namespace devserver
