#include "Store.h"

#include "PasswordHash.h"
#include "SqlStatement.h"
#include "Win1252.h"

#include <sqlite3.h>

namespace devserver {

namespace {

struct Migration
{
    const char *name;
    const char *sql;
};

// Generated from the files of migrations/, in file-name order. The schema
// version of a database is the number of migrations applied to it.
const Migration kMigrations[] = {
#include "Migrations.inc"
};

} // namespace

Store::Store(const std::string &path)
{
    if (sqlite3_open_v2(
            path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw StoreError("cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(m_db, 5000);
    try {
        SqlStatement::exec(m_db, "PRAGMA foreign_keys = ON");
        migrate();
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
}

Store::~Store()
{
    sqlite3_close(m_db);
}

void Store::checkWritable(std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    if (sqlite3_db_readonly(m_db, "main") == 1)
        throw StoreError("the database is read-only");
    // A real write, committed: it also needs the folder to take the journal.
    SqlStatement(m_db, "INSERT OR REPLACE INTO service_state (name, value) VALUES ('last-start', ?1)")
        .bind(1, now)
        .run();
}

void Store::transaction(const std::function<void()> &work)
{
    std::lock_guard lock(m_mutex);
    SqlStatement::exec(m_db, "BEGIN IMMEDIATE");
    try {
        work();
        SqlStatement::exec(m_db, "COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

int Store::knownSchemaVersion()
{
    return static_cast<int>(std::size(kMigrations));
}

int Store::schemaVersion()
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db, "PRAGMA user_version");
    q.step();
    return static_cast<int>(q.integer(0));
}

void Store::migrate()
{
    SqlStatement q(m_db, "PRAGMA user_version");
    q.step();
    const auto current = q.integer(0);
    if (current > knownSchemaVersion())
        throw StoreError("database schema " + std::to_string(current) + " is newer than this program ("
            + std::to_string(knownSchemaVersion()) + ")");
    for (auto v = current; v < knownSchemaVersion(); ++v) {
        // Each migration and its version bump commit together or not at all.
        SqlStatement::exec(m_db, "BEGIN IMMEDIATE");
        try {
            SqlStatement::exec(m_db, kMigrations[v].sql);
            SqlStatement::exec(m_db, ("PRAGMA user_version = " + std::to_string(v + 1)).c_str());
            SqlStatement::exec(m_db, "COMMIT");
        } catch (const StoreError &e) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw StoreError(std::string(kMigrations[v].name) + ": " + e.what());
        }
    }
}

std::optional<Member> Store::memberWhere(const char *condition, std::string_view key, std::int64_t id)
{
    SqlStatement q(m_db, std::string("SELECT id, pseudo, email, web FROM members WHERE ") + condition);
    if (key.data())
        q.bind(1, key);
    else
        q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return Member { q.integer(0), q.bytes(1), q.bytes(2), q.bytes(3) };
}

std::optional<Member> Store::findMember(std::string_view pseudo)
{
    std::lock_guard lock(m_mutex);
    const std::string key = Win1252::fold(pseudo);
    return memberWhere("pseudo_key = ?1", key, 0);
}

std::optional<Member> Store::memberById(std::int64_t id)
{
    std::lock_guard lock(m_mutex);
    return memberWhere("id = ?1", std::string_view(), id);
}

std::optional<std::int64_t> Store::addMember(std::string_view pseudo, std::string_view digestHex,
    std::string_view email, std::string_view web, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    const std::string key = Win1252::fold(pseudo);
    // Checked first so that a refused name does not use up a member id.
    if (memberWhere("pseudo_key = ?1", key, 0))
        return std::nullopt;
    const auto stored = PasswordHash::make(digestHex);
    SqlStatement q(m_db,
        "INSERT INTO members (pseudo, pseudo_key, salt, digest_hash, email, web, created_at) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT (pseudo_key) DO NOTHING");
    q.bind(1, pseudo).bind(2, key).bind(3, stored.salt).bind(4, stored.hash);
    q.bind(5, email).bind(6, web).bind(7, now);
    q.run();
    if (sqlite3_changes(m_db) == 0)
        return std::nullopt;
    return sqlite3_last_insert_rowid(m_db);
}

bool Store::checkDigest(std::int64_t id, std::string_view digestHex)
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db, "SELECT salt, digest_hash FROM members WHERE id = ?1");
    q.bind(1, id);
    if (!q.step())
        return false;
    return PasswordHash::matches({ q.bytes(0), q.bytes(1) }, digestHex);
}

void Store::setOnline(
    std::int64_t id, std::string_view address, std::string_view remoteAddr, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db,
        "INSERT INTO presence (member_id, address, remote_addr, since, last_seen) "
        "VALUES (?1, ?2, ?3, ?4, ?4) ON CONFLICT (member_id) DO UPDATE SET "
        "address = excluded.address, remote_addr = excluded.remote_addr, "
        "last_seen = excluded.last_seen");
    q.bind(1, id).bind(2, address).bind(3, remoteAddr).bind(4, now);
    q.run();
}

void Store::setOffline(std::int64_t id)
{
    std::lock_guard lock(m_mutex);
    SqlStatement(m_db, "DELETE FROM presence WHERE member_id = ?1").bind(1, id).run();
}

void Store::touch(std::string_view remoteAddr, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    SqlStatement(m_db, "UPDATE presence SET last_seen = ?2 WHERE remote_addr = ?1 AND last_seen < ?2")
        .bind(1, remoteAddr)
        .bind(2, now)
        .run();
}

void Store::expire(std::int64_t now, std::int64_t timeout)
{
    std::lock_guard lock(m_mutex);
    SqlStatement(m_db, "DELETE FROM presence WHERE last_seen < ?1").bind(1, now - timeout).run();
}

std::vector<std::pair<std::string, std::string>> Store::online()
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db,
        "SELECT m.pseudo, p.address FROM presence p JOIN members m ON m.id = p.member_id "
        "ORDER BY p.since, m.id");
    std::vector<std::pair<std::string, std::string>> out;
    while (q.step())
        out.emplace_back(q.bytes(0), q.bytes(1));
    return out;
}

bool Store::isOnlineFrom(std::int64_t id, std::string_view remoteAddr)
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db, "SELECT 1 FROM presence WHERE member_id = ?1 AND remote_addr = ?2");
    q.bind(1, id).bind(2, remoteAddr);
    return q.step();
}

bool Store::isOnline(std::int64_t id)
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db, "SELECT 1 FROM presence WHERE member_id = ?1");
    q.bind(1, id);
    return q.step();
}

std::vector<std::string> Store::table(std::int64_t owner, Category category)
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db,
        "SELECT m.pseudo FROM contacts c JOIN members m ON m.id = c.other_id "
        "WHERE c.owner_id = ?1 AND c.category = ?2 ORDER BY c.added_at, m.id");
    q.bind(1, owner).bind(2, static_cast<std::int64_t>(category));
    std::vector<std::string> out;
    while (q.step())
        out.push_back(q.bytes(0));
    return out;
}

void Store::addToTable(std::int64_t owner, Category category, std::int64_t other, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    SqlStatement(m_db,
        "INSERT INTO contacts (owner_id, category, other_id, added_at) VALUES (?1, ?2, ?3, ?4) "
        "ON CONFLICT DO NOTHING")
        .bind(1, owner)
        .bind(2, static_cast<std::int64_t>(category))
        .bind(3, other)
        .bind(4, now)
        .run();
}

void Store::removeFromTable(std::int64_t owner, Category category, std::int64_t other)
{
    std::lock_guard lock(m_mutex);
    SqlStatement(m_db, "DELETE FROM contacts WHERE owner_id = ?1 AND category = ?2 AND other_id = ?3")
        .bind(1, owner)
        .bind(2, static_cast<std::int64_t>(category))
        .bind(3, other)
        .run();
}

void Store::setAvatar(std::int64_t id, std::string_view jpeg, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    SqlStatement(m_db,
        "INSERT INTO avatars (member_id, jpeg, updated_at) VALUES (?1, ?2, ?3) "
        "ON CONFLICT (member_id) DO UPDATE SET jpeg = excluded.jpeg, updated_at = excluded.updated_at")
        .bind(1, id)
        .bind(2, jpeg)
        .bind(3, now)
        .run();
}

std::optional<std::string> Store::avatar(std::int64_t id)
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db, "SELECT jpeg FROM avatars WHERE member_id = ?1");
    q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return q.bytes(0);
}

bool Store::hasMarker(std::string_view name)
{
    std::lock_guard lock(m_mutex);
    SqlStatement q(m_db, "SELECT 1 FROM service_state WHERE name = ?1");
    q.bind(1, name);
    return q.step();
}

void Store::setMarker(std::string_view name, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    SqlStatement(m_db, "INSERT OR REPLACE INTO service_state (name, value) VALUES (?1, ?2)")
        .bind(1, name)
        .bind(2, now)
        .run();
}

} // namespace devserver
