#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// The engines the service runs on; its tests run on each.
enum class Engine { Sqlite, Postgres };

// Test names end in /SQLite or /PostgreSQL.
std::string engineName(const ::testing::TestParamInfo<Engine> &info);
void PrintTo(Engine engine, std::ostream *out);
#define VOXLANE_ON_EVERY_ENGINE(suite)                                                                       \
    INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values(Engine::Sqlite, Engine::Postgres), engineName)

// The PostgreSQL server the tests may use, from VOXLANE_TEST_PG_URL (a URL
// of its "postgres" database; scripts/test starts a throw-away server and
// sets it); empty when there is none, and the PostgreSQL half is skipped
// with this reason.
std::string testPostgresUrl();
extern const char *const kNoPostgres;

// Runs SQL on that server's own database (roles, databases); the error,
// empty on success.
std::string execOnTestServer(const std::string &sql);
// The same server, database `name`.
std::string withDatabase(const std::string &url, const std::string &name);

// A database of its own for one test: a file in the test's folder, or a new
// database on the test server, dropped (with whatever still uses it) at the
// end.
class TestDatabase
{
public:
    TestDatabase(Engine engine, const std::filesystem::path &folder, const std::string &name);
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    Engine engine() const { return m_engine; }
    // What the Store and --db take; empty when the database could not be
    // made, error() then says why.
    const std::string &location() const { return m_location; }
    const std::string &error() const { return m_error; }

    // Runs SQL straight on the database, beside the service, as another
    // program would; the error message, empty on success.
    std::string exec(const std::string &sql) const;
    // Runs the statement written for this engine.
    std::string exec(const std::string &sqliteSql, const std::string &postgresSql) const
    {
        return exec(m_engine == Engine::Sqlite ? sqliteSql : postgresSql);
    }
    // Marks the database as migrated to `version`.
    std::string setSchemaVersion(int version) const;
    // Every byte the database holds for the service (SQLite: the whole
    // file; PostgreSQL: every value of the service's tables).
    std::string storedBytes() const;
    // A location of the same engine where nothing can be opened.
    std::string unopenableLocation() const;

private:
    Engine m_engine;
    std::filesystem::path m_folder;
    std::string m_name; // the PostgreSQL database's
    std::string m_location;
    std::string m_error;
};
