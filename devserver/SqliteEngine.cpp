#include "SqliteEngine.h"

#include <sqlite3.h>

namespace devserver {

namespace {

struct Migration
{
    const char *name;
    const char *sql;
};

// Generated from the files of migrations/sqlite/, in file-name order. The
// schema version of a database is the number of migrations applied to it.
const Migration kMigrations[] = {
#include "MigrationsSqlite.inc"
};

} // namespace

SqliteEngine::SqliteEngine(const std::string &path)
{
    sqlite3 *&db = m_connection.db;
    if (sqlite3_open_v2(
            path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw StoreError("cannot open " + path + ": " + message);
    }
    // Another process on the same file (a second instance starting, a
    // tool) holds its lock for a moment at most.
    sqlite3_busy_timeout(db, 5000);
    try {
        SqlStatement::exec(db, "PRAGMA foreign_keys = ON");
        migrate();
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
}

SqliteEngine::~SqliteEngine()
{
    sqlite3_close(m_connection.db);
}

int SqliteEngine::migrationCount()
{
    return static_cast<int>(std::size(kMigrations));
}

SqlEngine::Lease SqliteEngine::lease()
{
    m_mutex.lock();
    return Lease(*this, m_connection);
}

void SqliteEngine::transaction(const std::function<void()> &work)
{
    std::lock_guard lock(m_mutex);
    // IMMEDIATE takes the write lock at once: one writer at a time, also
    // across processes sharing the file.
    SqlStatement::exec(m_connection.db, "BEGIN IMMEDIATE");
    try {
        work();
        SqlStatement::exec(m_connection.db, "COMMIT");
    } catch (...) {
        sqlite3_exec(m_connection.db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

int SqliteEngine::schemaVersion()
{
    std::lock_guard lock(m_mutex);
    return readVersion();
}

int SqliteEngine::readVersion()
{
    SqlStatement q(m_connection.db, "PRAGMA user_version");
    q.step();
    return static_cast<int>(q.integer(0));
}

void SqliteEngine::refuseReadOnly()
{
    std::lock_guard lock(m_mutex);
    if (sqlite3_db_readonly(m_connection.db, "main") == 1)
        throw StoreError("the database is read-only");
}

void SqliteEngine::migrate()
{
    sqlite3 *db = m_connection.db;
    // Read first without a lock, so that an up-to-date file opens without
    // writing anything (a read-only one then fails only at the write check).
    auto current = readVersion();
    while (current != migrationCount()) {
        if (current > migrationCount())
            throw StoreError("database schema " + std::to_string(current) + " is newer than this program ("
                + std::to_string(migrationCount()) + ")");
        // Each migration and its version bump commit together or not at
        // all. The version is read again under the write lock: another
        // process starting at the same moment may have just applied it.
        SqlStatement::exec(db, "BEGIN IMMEDIATE");
        try {
            current = readVersion();
            if (current < migrationCount()) {
                try {
                    SqlStatement::exec(db, kMigrations[current].sql);
                } catch (const StoreError &e) {
                    throw StoreError(std::string(kMigrations[current].name) + ": " + e.what());
                }
                ++current;
                SqlStatement::exec(db, ("PRAGMA user_version = " + std::to_string(current)).c_str());
            }
            SqlStatement::exec(db, "COMMIT");
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
}

} // namespace devserver
