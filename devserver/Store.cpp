#include "Store.h"

#include "PasswordHash.h"
#include "SqlEngine.h"
#include "Win1252.h"

namespace devserver {

// Every statement below is written once for both engines: ?N placeholders,
// INSERT ... ON CONFLICT, RETURNING.

Store::Store(const std::string &location)
    : m_engine(SqlEngine::open(location))
{
}

Store::~Store() = default;

void Store::checkWritable(std::int64_t now)
{
    m_engine->refuseReadOnly();
    // A real write, committed: SQLite also needs the folder to take the
    // journal; a PostgreSQL role may lack the right to write, or the
    // server be a read-only standby.
    const auto db = m_engine->lease();
    db.query("INSERT INTO service_state (name, value) VALUES ('last-start', ?1) "
             "ON CONFLICT (name) DO UPDATE SET value = excluded.value")
        ->bind(1, now)
        .run();
}

void Store::transaction(const std::function<void()> &work)
{
    m_engine->transaction(work);
}

int Store::knownSchemaVersion()
{
    return SqlEngine::knownSchemaVersion();
}

int Store::schemaVersion()
{
    return m_engine->schemaVersion();
}

std::optional<Member> Store::memberWhere(const char *condition, std::string_view key, std::int64_t id)
{
    const auto db = m_engine->lease();
    auto q = db.query(std::string("SELECT id, pseudo, email, web FROM members WHERE ") + condition);
    if (key.data())
        q->bind(1, key);
    else
        q->bind(1, id);
    if (!q->step())
        return std::nullopt;
    return Member { q->integer(0), q->bytes(1), q->bytes(2), q->bytes(3) };
}

std::optional<Member> Store::findMember(std::string_view pseudo)
{
    const std::string key = Win1252::fold(pseudo);
    return memberWhere("pseudo_key = ?1", key, 0);
}

std::optional<Member> Store::memberById(std::int64_t id)
{
    return memberWhere("id = ?1", std::string_view(), id);
}

std::optional<std::int64_t> Store::addMember(std::string_view pseudo, std::string_view digestHex,
    std::string_view email, std::string_view web, std::int64_t now)
{
    const std::string key = Win1252::fold(pseudo);
    // Checked first so that a refused name does not use up a member id.
    if (memberWhere("pseudo_key = ?1", key, 0))
        return std::nullopt;
    const auto stored = PasswordHash::make(digestHex);
    const auto db = m_engine->lease();
    // Another process may register the same name at the same moment: the
    // unique key decides, and the loser gets no row back.
    auto q = db.query("INSERT INTO members (pseudo, pseudo_key, salt, digest_hash, email, web, created_at) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT (pseudo_key) DO NOTHING RETURNING id");
    q->bind(1, pseudo).bind(2, key).bind(3, stored.salt).bind(4, stored.hash);
    q->bind(5, email).bind(6, web).bind(7, now);
    if (!q->step())
        return std::nullopt;
    const auto id = q->integer(0);
    q->run();
    return id;
}

bool Store::checkDigest(std::int64_t id, std::string_view digestHex)
{
    const auto db = m_engine->lease();
    auto q = db.query("SELECT salt, digest_hash FROM members WHERE id = ?1");
    q->bind(1, id);
    if (!q->step())
        return false;
    return PasswordHash::matches({ q->bytes(0), q->bytes(1) }, digestHex);
}

void Store::setOnline(
    std::int64_t id, std::string_view address, std::string_view remoteAddr, std::int64_t now)
{
    const auto db = m_engine->lease();
    db.query("INSERT INTO presence (member_id, address, remote_addr, since, last_seen) "
             "VALUES (?1, ?2, ?3, ?4, ?4) ON CONFLICT (member_id) DO UPDATE SET "
             "address = excluded.address, remote_addr = excluded.remote_addr, "
             "last_seen = excluded.last_seen")
        ->bind(1, id)
        .bind(2, address)
        .bind(3, remoteAddr)
        .bind(4, now)
        .run();
}

void Store::setOffline(std::int64_t id)
{
    const auto db = m_engine->lease();
    db.query("DELETE FROM presence WHERE member_id = ?1")->bind(1, id).run();
}

void Store::touch(std::string_view remoteAddr, std::int64_t now)
{
    const auto db = m_engine->lease();
    db.query("UPDATE presence SET last_seen = ?2 WHERE remote_addr = ?1 AND last_seen < ?2")
        ->bind(1, remoteAddr)
        .bind(2, now)
        .run();
}

void Store::expire(std::int64_t now, std::int64_t timeout)
{
    const auto db = m_engine->lease();
    db.query("DELETE FROM presence WHERE last_seen < ?1")->bind(1, now - timeout).run();
}

std::vector<std::pair<std::string, std::string>> Store::online()
{
    const auto db = m_engine->lease();
    auto q = db.query("SELECT m.pseudo, p.address FROM presence p JOIN members m ON m.id = p.member_id "
                      "ORDER BY p.since, m.id");
    std::vector<std::pair<std::string, std::string>> out;
    while (q->step())
        out.emplace_back(q->bytes(0), q->bytes(1));
    return out;
}

bool Store::isOnlineFrom(std::int64_t id, std::string_view remoteAddr)
{
    const auto db = m_engine->lease();
    auto q = db.query("SELECT 1 FROM presence WHERE member_id = ?1 AND remote_addr = ?2");
    q->bind(1, id).bind(2, remoteAddr);
    return q->step();
}

bool Store::isOnline(std::int64_t id)
{
    const auto db = m_engine->lease();
    auto q = db.query("SELECT 1 FROM presence WHERE member_id = ?1");
    q->bind(1, id);
    return q->step();
}

std::vector<std::string> Store::table(std::int64_t owner, Category category)
{
    const auto db = m_engine->lease();
    auto q = db.query("SELECT m.pseudo FROM contacts c JOIN members m ON m.id = c.other_id "
                      "WHERE c.owner_id = ?1 AND c.category = ?2 ORDER BY c.added_at, m.id");
    q->bind(1, owner).bind(2, static_cast<std::int64_t>(category));
    std::vector<std::string> out;
    while (q->step())
        out.push_back(q->bytes(0));
    return out;
}

void Store::addToTable(std::int64_t owner, Category category, std::int64_t other, std::int64_t now)
{
    const auto db = m_engine->lease();
    db.query("INSERT INTO contacts (owner_id, category, other_id, added_at) VALUES (?1, ?2, ?3, ?4) "
             "ON CONFLICT DO NOTHING")
        ->bind(1, owner)
        .bind(2, static_cast<std::int64_t>(category))
        .bind(3, other)
        .bind(4, now)
        .run();
}

void Store::removeFromTable(std::int64_t owner, Category category, std::int64_t other)
{
    const auto db = m_engine->lease();
    db.query("DELETE FROM contacts WHERE owner_id = ?1 AND category = ?2 AND other_id = ?3")
        ->bind(1, owner)
        .bind(2, static_cast<std::int64_t>(category))
        .bind(3, other)
        .run();
}

void Store::setAvatar(std::int64_t id, std::string_view jpeg, std::int64_t now)
{
    const auto db = m_engine->lease();
    db.query("INSERT INTO avatars (member_id, jpeg, updated_at) VALUES (?1, ?2, ?3) "
             "ON CONFLICT (member_id) DO UPDATE SET jpeg = excluded.jpeg, updated_at = excluded.updated_at")
        ->bind(1, id)
        .bind(2, jpeg)
        .bind(3, now)
        .run();
}

std::optional<std::string> Store::avatar(std::int64_t id)
{
    const auto db = m_engine->lease();
    auto q = db.query("SELECT jpeg FROM avatars WHERE member_id = ?1");
    q->bind(1, id);
    if (!q->step())
        return std::nullopt;
    return q->bytes(0);
}

bool Store::hasMarker(std::string_view name)
{
    const auto db = m_engine->lease();
    auto q = db.query("SELECT 1 FROM service_state WHERE name = ?1");
    q->bind(1, name);
    return q->step();
}

void Store::setMarker(std::string_view name, std::int64_t now)
{
    const auto db = m_engine->lease();
    db.query("INSERT INTO service_state (name, value) VALUES (?1, ?2) "
             "ON CONFLICT (name) DO UPDATE SET value = excluded.value")
        ->bind(1, name)
        .bind(2, now)
        .run();
}

} // namespace devserver
