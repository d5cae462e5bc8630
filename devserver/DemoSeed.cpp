#include "DemoSeed.h"

#include "Jpeg.h"
#include "PasswordHash.h"

namespace devserver {

namespace {

struct DemoMember
{
    const char *pseudo;
    std::uint32_t colour;
};

constexpr DemoMember kMembers[] = {
    { "alice", 0xC0392B },
    { "bob", 0x2471A3 },
    { "carol", 0x229954 },
};

} // namespace

void DemoSeed::apply(Store &store, std::int64_t now)
{
    // Seeded once per database: members, cards, avatars and relations the
    // user changed or deleted afterwards are not brought back. All of it is
    // one transaction with its marker, so a start killed half-way leaves
    // nothing and the next start seeds everything.
    store.transaction([&] { seed(store, now); });
}

void DemoSeed::seed(Store &store, std::int64_t now)
{
    if (store.hasMarker("demo-seed"))
        return;
    for (const auto &m : kMembers) {
        const std::string pseudo = m.pseudo;
        if (store.findMember(pseudo))
            continue;
        const auto id = store.addMember(pseudo, PasswordHash::md5Hex(pseudo), pseudo + "@voxlane.test",
            "https://voxlane.test/~" + pseudo, now);
        if (id)
            store.setAvatar(*id, Jpeg::drawAvatar(94, 94, m.colour), now);
    }
    const auto alice = store.findMember("alice");
    const auto bob = store.findMember("bob");
    const auto carol = store.findMember("carol");
    if (alice && bob && carol) {
        store.addToTable(alice->id, Store::Contacts, bob->id, now);
        store.addToTable(bob->id, Store::Contacts, alice->id, now);
        store.addToTable(alice->id, Store::Requests, carol->id, now);
    }
    store.setMarker("demo-seed", now);
}

} // namespace devserver
