#include "TestDatabase.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

struct PgDeleter
{
    void operator()(PGconn *c) const { PQfinish(c); }
    void operator()(PGresult *r) const { PQclear(r); }
};
using PgConnection = std::unique_ptr<PGconn, PgDeleter>;
using PgResult = std::unique_ptr<PGresult, PgDeleter>;

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Runs `sql` on the database at `url`; the error, empty on success.
std::string pgExec(const std::string &url, const std::string &sql)
{
    const PgConnection c(PQconnectdb(url.c_str()));
    if (PQstatus(c.get()) != CONNECTION_OK)
        return "cannot connect: " + trimmed(PQerrorMessage(c.get()));
    PQsetNoticeProcessor(
        c.get(), [](void *, const char *) {}, nullptr);
    const PgResult r(PQexec(c.get(), sql.c_str()));
    const auto status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return trimmed(PQresultErrorMessage(r.get()));
    return {};
}

} // namespace

const char *const kNoPostgres = "no PostgreSQL server for the tests: VOXLANE_TEST_PG_URL is not set "
                                "(scripts/test sets it when it can start one)";

std::string engineName(const ::testing::TestParamInfo<Engine> &info)
{
    return info.param == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

void PrintTo(Engine engine, std::ostream *out)
{
    *out << (engine == Engine::Sqlite ? "SQLite" : "PostgreSQL");
}

std::string testPostgresUrl()
{
    const char *url = std::getenv("VOXLANE_TEST_PG_URL");
    return url ? url : "";
}

std::string execOnTestServer(const std::string &sql)
{
    return pgExec(testPostgresUrl(), sql);
}

std::string withDatabase(const std::string &url, const std::string &name)
{
    // scheme://authority/DBNAME?parameters
    const auto authority = url.find("://") + 3;
    const auto path = url.find_first_of("/?", authority);
    if (path == std::string::npos)
        return url + "/" + name;
    if (url[path] == '?')
        return url.substr(0, path) + "/" + name + url.substr(path);
    const auto end = url.find('?', path);
    return url.substr(0, path + 1) + name + (end == std::string::npos ? "" : url.substr(end));
}

TestDatabase::TestDatabase(Engine engine, const std::filesystem::path &folder, const std::string &name)
    : m_engine(engine)
    , m_folder(folder)
{
    if (engine == Engine::Sqlite) {
        m_location = (folder / (name + ".sqlite")).string();
        return;
    }
    const std::string server = testPostgresUrl();
    if (server.empty()) {
        m_error = kNoPostgres;
        return;
    }
    // Tests of several programs run at once on the same server.
    static std::atomic<int> counter { 0 };
    m_name = "voxlane_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" + name;
    m_error = execOnTestServer("CREATE DATABASE " + m_name);
    if (m_error.empty())
        m_location = withDatabase(server, m_name);
}

TestDatabase::~TestDatabase()
{
    if (!m_name.empty())
        execOnTestServer("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
}

std::string TestDatabase::exec(const std::string &sql) const
{
    if (m_engine == Engine::Postgres)
        return pgExec(m_location, sql);
    sqlite3 *db = nullptr;
    std::string error;
    if (sqlite3_open(m_location.c_str(), &db) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
    } else {
        sqlite3_busy_timeout(db, 5000);
        char *message = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
            error = message ? message : "failed";
        sqlite3_free(message);
    }
    sqlite3_close(db);
    return error;
}

std::string TestDatabase::setSchemaVersion(int version) const
{
    return exec("PRAGMA user_version = " + std::to_string(version),
        "UPDATE schema_version SET version = " + std::to_string(version));
}

std::string TestDatabase::storedBytes() const
{
    if (m_engine == Engine::Sqlite) {
        std::ifstream file(m_location, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    }
    const PgConnection c(PQconnectdb(m_location.c_str()));
    std::string all;
    for (const char *table : { "members", "presence", "contacts", "avatars", "service_state" }) {
        // Binary results: bytea values as their bytes, not as hex text.
        const PgResult r(PQexecParams(c.get(), (std::string("SELECT * FROM ") + table).c_str(), 0, nullptr,
            nullptr, nullptr, nullptr, 1));
        for (int row = 0; row < PQntuples(r.get()); ++row) {
            for (int column = 0; column < PQnfields(r.get()); ++column)
                all.append(PQgetvalue(r.get(), row, column),
                    static_cast<std::size_t>(PQgetlength(r.get(), row, column)));
        }
    }
    return all;
}

std::string TestDatabase::unopenableLocation() const
{
    if (m_engine == Engine::Sqlite)
        return (m_folder / "missing" / "x.sqlite").string();
    return withDatabase(testPostgresUrl(), m_name + "_missing");
}
