// Contact tables through qxd.php and the member details of getinfo.php, as
// the client's contact management uses them.
#include "ServiceFixture.h"

namespace {

using Contacts = ServiceFixture;
VOXLANE_ON_EVERY_ENGINE(Contacts);

TEST_P(Contacts, RequestAcceptanceAndDeletion)
{
    const auto carol = client("127.0.0.4");
    const auto bob = client("127.0.0.3");

    // carol asks bob: her name goes into bob's pending requests.
    ASSERT_FALSE(contactsIn(logIn(carol, "carol", "carol").body).size());
    EXPECT_EQ(carol.get(qxd("bob", true, "3", "carol")).body, "ok");
    EXPECT_EQ(requestsIn(logIn(bob, "bob", "bob").body), "carol\r\n");

    // bob accepts: each into the other's contacts, then the request goes.
    EXPECT_EQ(bob.get(qxd("bob", true, "1", "carol")).body, "ok");
    EXPECT_EQ(bob.get(qxd("carol", true, "1", "bob")).body, "ok");
    EXPECT_EQ(bob.get(qxd("bob", false, "3", "carol")).body, "ok");
    const auto bobAgain = logIn(bob, "bob", "bob").body;
    EXPECT_EQ(contactsIn(bobAgain), "alice\r\ncarol\r\n");
    EXPECT_EQ(requestsIn(bobAgain), "");
    EXPECT_EQ(contactsIn(logIn(carol, "carol", "carol").body), "bob\r\n");

    // Adding twice lists the member once.
    EXPECT_EQ(bob.get(qxd("bob", true, "1", "carol")).body, "ok");
    EXPECT_EQ(contactsIn(logIn(bob, "bob", "bob").body), "alice\r\ncarol\r\n");

    // carol deletes bob: both entries go.
    EXPECT_EQ(carol.get(qxd("carol", false, "1", "bob")).body, "ok");
    EXPECT_EQ(carol.get(qxd("bob", false, "1", "carol")).body, "ok");
    EXPECT_EQ(contactsIn(logIn(carol, "carol", "carol").body), "");
    EXPECT_EQ(contactsIn(logIn(bob, "bob", "bob").body), "alice\r\n");
}

TEST_P(Contacts, RefusalsNeverReadAsSuccess)
{
    const auto alice = client("127.0.0.2");
    const auto stranger = client("127.0.0.9");
    logIn(alice, "alice", "alice");
    const struct
    {
        const char *what;
        const RawHttpClient &from;
        std::string target;
    } cases[] = {
        { "unknown member added", alice, qxd("alice", true, "1", "zoe") },
        { "unknown owner", alice, qxd("zoe", true, "3", "alice") },
        { "unknown category", alice, qxd("alice", true, "7", "bob") },
        { "unknown command", alice, "/script/qxd.php?pseudo=alice&cmd=9&catego=1&add=bob" },
        { "missing member", alice, "/script/qxd.php?pseudo=alice&cmd=1&catego=1" },
        { "oneself", alice, qxd("alice", true, "1", "alice") },
        // Nobody of the two is logged in from where the request comes.
        { "not logged in", stranger, qxd("bob", true, "1", "carol") },
    };
    for (const auto &k : cases) {
        const auto r = k.from.get(k.target);
        EXPECT_EQ(r.status, 200) << k.what;
        EXPECT_EQ(r.body.find("ok"), std::string::npos) << k.what << ": " << r.body;
        EXPECT_FALSE(r.body.empty()) << k.what;
    }
    EXPECT_EQ(contactsIn(logIn(alice, "alice", "alice").body), "bob\r\n");
    EXPECT_EQ(contactsIn(logIn(client("127.0.0.3"), "bob", "bob").body), "alice\r\n");
}

TEST_P(Contacts, OthersTablesOnlyAsTheContactFlowNeeds)
{
    const auto alice = client("127.0.0.2");
    const auto bob = client("127.0.0.3");
    const auto carol = client("127.0.0.4");
    logIn(alice, "alice", "alice");
    logIn(bob, "bob", "bob");
    logIn(carol, "carol", "carol");
    // bob blocks carol in his own table.
    ASSERT_EQ(bob.get(qxd("bob", true, "2", "carol")).body, "ok");

    const struct
    {
        const char *what;
        const RawHttpClient &from;
        std::string target;
    } refused[] = {
        { "into contacts nobody asked for", carol, qxd("bob", true, "1", "carol") },
        { "out of a blocked list", carol, qxd("bob", false, "2", "carol") },
        { "into a blocked list", alice, qxd("bob", true, "2", "alice") },
        { "someone else's request withdrawn", alice, qxd("bob", false, "3", "alice") },
        { "a third member into contacts", alice, qxd("bob", true, "1", "carol") },
        { "a third member's request", alice, qxd("bob", true, "3", "carol") },
        // carol's request waits with alice, not the other way round.
        { "acceptance the wrong way", carol, qxd("alice", true, "1", "carol") },
    };
    for (const auto &k : refused) {
        const auto r = k.from.get(k.target);
        EXPECT_EQ(r.status, 200) << k.what;
        EXPECT_EQ(r.body.rfind("refus\xE9 : ", 0), 0u) << k.what << ": " << r.body;
    }
    const auto bobTables = logIn(bob, "bob", "bob").body;
    EXPECT_EQ(contactsIn(bobTables), "alice\r\n");
    EXPECT_EQ(blockedIn(bobTables), "carol\r\n");
    EXPECT_EQ(requestsIn(bobTables), "");
    EXPECT_EQ(contactsIn(logIn(alice, "alice", "alice").body), "bob\r\n");

    // What the flow does is allowed: alice completes the acceptance of
    // carol's request, files her own with bob, and leaves bob's contacts.
    EXPECT_EQ(alice.get(qxd("carol", true, "1", "alice")).body, "ok");
    EXPECT_EQ(carol.get(qxd("bob", true, "3", "carol")).body, "ok");
    EXPECT_EQ(alice.get(qxd("bob", false, "1", "alice")).body, "ok");
    const auto bobAfter = logIn(bob, "bob", "bob").body;
    EXPECT_EQ(contactsIn(bobAfter), "");
    EXPECT_EQ(requestsIn(bobAfter), "carol\r\n");
    EXPECT_EQ(contactsIn(logIn(carol, "carol", "carol").body), "alice\r\n");
}

TEST_P(Contacts, MemberDetails)
{
    const auto c = client();
    const struct
    {
        std::string target;
        std::string body;
    } cases[] = {
        { "/script/getinfo.php?function=getid&pseudo=alice", "1" },
        { "/script/getinfo.php?function=getid&pseudo=Carol", "3" },
        { "/script/getinfo.php?function=getid&pseudo=zoe", "" },
        { "/script/getinfo.php?function=getcorrectpseudo&pseudo=BoB", "bob" },
        { "/script/getinfo.php?function=getcorrectpseudo&pseudo=bo", "" },
        { "/script/getinfo.php?function=getinfo&pseudo=alice",
            "alice@voxlane.test\nhttps://voxlane.test/~alice" },
        { "/script/getinfo.php?function=getinfo&pseudo=zoe", "" },
        { "/script/getinfo.php?function=getmail&pseudo=bob", "bob@voxlane.test" },
        { "/script/getinfo.php?function=getmail&pseudo=zoe", "" },
    };
    for (const auto &k : cases) {
        const auto r = c.get(k.target);
        EXPECT_EQ(r.status, 200) << k.target;
        EXPECT_EQ(r.body, k.body) << k.target;
    }
    EXPECT_EQ(c.get("/script/getinfo.php?function=drop&pseudo=bob").status, 400);
}

} // namespace
