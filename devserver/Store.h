#pragma once

#include "StoreError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devserver {

class SqlEngine;

struct Member
{
    std::int64_t id = 0;
    std::string pseudo; // as registered
    std::string email;
    std::string web;
};

// The service's whole state: members, who is online, contact tables and
// avatars, in a SQLite file or in a PostgreSQL database. Nothing is kept
// in the process itself, so several service processes on one PostgreSQL
// database serve the same community, each answering any request. Worker
// threads may share the store. Failures throw StoreError.
class Store
{
public:
    enum Category : int { Contacts = 1, Blocked = 2, Requests = 3 };

    // Opens `location` and brings the schema up to date: a SQLite file
    // (created when missing), or a postgresql:// URL.
    explicit Store(const std::string &location);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Throws StoreError unless the database can really be written (a
    // read-only file or folder opens without complaint and only fails at
    // the first change).
    void checkWritable(std::int64_t now);

    // Runs `work` as one transaction: every change it makes is committed
    // together, or none is when it throws. Transactions take turns, also
    // between processes sharing the database.
    void transaction(const std::function<void()> &work);

    int schemaVersion();
    static int knownSchemaVersion();

    // Members are looked up ignoring letter case, accented letters included.
    std::optional<Member> findMember(std::string_view pseudo);
    std::optional<Member> memberById(std::int64_t id);
    // The new member's id, or nothing when the name (in any letter case) is taken.
    std::optional<std::int64_t> addMember(std::string_view pseudo, std::string_view digestHex,
        std::string_view email, std::string_view web, std::int64_t now);
    bool checkDigest(std::int64_t id, std::string_view digestHex);

    // Presence. A member stays online until logged out or until nothing has
    // come from their remote address for `timeout` seconds.
    void setOnline(std::int64_t id, std::string_view address, std::string_view remoteAddr, std::int64_t now);
    void setOffline(std::int64_t id);
    void touch(std::string_view remoteAddr, std::int64_t now);
    void expire(std::int64_t now, std::int64_t timeout);
    // (pseudonym, address) of every member online, in the order they came online.
    std::vector<std::pair<std::string, std::string>> online();
    bool isOnlineFrom(std::int64_t id, std::string_view remoteAddr);
    bool isOnline(std::int64_t id);

    // Contact tables: the pseudonyms in `owner`'s table of that category.
    std::vector<std::string> table(std::int64_t owner, Category category);
    void addToTable(std::int64_t owner, Category category, std::int64_t other, std::int64_t now);
    void removeFromTable(std::int64_t owner, Category category, std::int64_t other);

    void setAvatar(std::int64_t id, std::string_view jpeg, std::int64_t now);
    std::optional<std::string> avatar(std::int64_t id);

    // One-off jobs done on this database, by name.
    bool hasMarker(std::string_view name);
    void setMarker(std::string_view name, std::int64_t now);

private:
    std::optional<Member> memberWhere(const char *condition, std::string_view key, std::int64_t id);

    std::unique_ptr<SqlEngine> m_engine;
};

} // namespace devserver
