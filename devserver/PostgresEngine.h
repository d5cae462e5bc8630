#pragma once

#include "SqlEngine.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devserver {

// The service's database on a PostgreSQL server, shared by every service
// process pointed at it: each keeps a few connections of its own and
// lends one to each call, so that worker threads query the server side by
// side. Statements are prepared once per connection; values and results
// travel in binary (bytea and int8), so Windows-1252 texts pass untouched
// whatever the server's encoding. The schema version is the one row of the
// table schema_version.
class PostgresEngine final : public SqlEngine
{
public:
    // Connections one process opens at most (the HTTP server's workers,
    // and a spare).
    static constexpr int kMaxConnections = 8;

    // Connects once (so that a wrong URL or an unreachable server stops
    // the start) and brings the schema up to date.
    explicit PostgresEngine(const std::string &url);
    ~PostgresEngine() override;

    Lease lease() override;
    void transaction(const std::function<void()> &work) override;
    int schemaVersion() override;
    // The server says so at the first write: nothing to tell beforehand.
    void refuseReadOnly() override { }

    static int migrationCount();

private:
    class Connection;
    class Query;

    void release(SqlConnection &connection) override;
    std::unique_ptr<Connection> connect() const;
    void migrate();
    static int versionOn(Connection &c);

    const std::string m_url;
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::vector<std::unique_ptr<Connection>> m_idle;
    int m_open = 0; // idle and lent
    // The connection of each thread inside transaction().
    std::map<std::thread::id, Connection *> m_transactions;
};

} // namespace devserver
