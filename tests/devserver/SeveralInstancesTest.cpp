// Two instances of the service on one database, as behind a load balancer
// that sends each request anywhere: what one instance takes (a log-in, a
// contact change, a request, an avatar, a registration) the other serves
// at once, because nothing of the community lives in a process.
#include "ServiceFixture.h"
#include "TestJpeg.h"

#include "DemoSeed.h"

#include <atomic>
#include <thread>

namespace {

const char *const kBalancer = "127.0.0.50";

class SeveralInstances : public ServiceFixture
{
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_secondStore = std::make_unique<devserver::Store>(m_db->location());
        m_secondService
            = std::make_unique<devserver::CommunityService>(*m_secondStore, [this] { return m_now.load(); });
        // The second instance also sits behind a balancer at 127.0.0.50.
        devserver::HttpServer::Tuning tuning;
        tuning.trustedProxies = { kBalancer };
        m_secondServer = std::make_unique<devserver::HttpServer>(
            [this](const devserver::HttpRequest &r) { return m_secondService->handle(r); }, nullptr,
            devserver::HttpRequestParser::Limits {}, tuning);
        std::string error;
        ASSERT_TRUE(m_secondServer->listen("127.0.0.1", 0, &error)) << error;
        m_secondServer->start();
    }

    void TearDown() override
    {
        m_secondServer.reset();
        m_secondService.reset();
        m_secondStore.reset();
        ServiceFixture::TearDown();
    }

    // A client of the second instance; client() talks to the first.
    RawHttpClient second(std::string from) const
    {
        return RawHttpClient(m_secondServer->port(), std::move(from));
    }
    // A GET to the second instance through the balancer, for `member`.
    RawReply throughBalancer(const std::string &target, const std::string &member) const
    {
        return second(kBalancer).exchange(
            "GET " + target + " HTTP/1.0\r\nHost: voxlane\r\nX-Forwarded-For: " + member + "\r\n\r\n");
    }

    std::unique_ptr<devserver::Store> m_secondStore;
    std::unique_ptr<devserver::CommunityService> m_secondService;
    std::unique_ptr<devserver::HttpServer> m_secondServer;
};
VOXLANE_ON_EVERY_ENGINE(SeveralInstances);

const char *const kPresence = "/voxlane/getconnected.php";

TEST_P(SeveralInstances, LogInOnOneIsSeenOnlineOnTheOther)
{
    const auto alice1 = client("127.0.0.2");
    const auto alice2 = second("127.0.0.2");
    const auto bob2 = second("127.0.0.3");
    const auto other1 = client("127.0.0.9");

    ASSERT_EQ(logIn(alice1, "alice", "alice", "abcd").body.rfind("autoris\xE9", 0), 0u);
    EXPECT_EQ(bob2.get(kPresence).body, "pseudo=alice<br>abcd<br>");
    ASSERT_EQ(logIn(bob2, "bob", "bob", "efgh").body.rfind("autoris\xE9", 0), 0u);
    EXPECT_EQ(other1.get(kPresence).body, "pseudo=alice<br>abcd<br>pseudo=bob<br>efgh<br>");

    // Requests from her address keep alice online through either instance;
    // bob, silent, runs out of time on both.
    m_now += 29 * 60;
    EXPECT_EQ(alice2.get(kPresence).body, "pseudo=alice<br>abcd<br>pseudo=bob<br>efgh<br>");
    m_now += 29 * 60;
    EXPECT_EQ(other1.get(kPresence).body, "pseudo=alice<br>abcd<br>");
    EXPECT_EQ(second("127.0.0.9").get(kPresence).body, "pseudo=alice<br>abcd<br>");

    // Logging out on one instance ends the session on both.
    EXPECT_EQ(logOut(alice2, "alice", "alice").body,
        "D\xE9"
        "connect\xE9");
    EXPECT_EQ(other1.get(kPresence).body, "");
    EXPECT_NE(other1.get("/quixvale/index.php?page=affichmembre.php?id=1").body.find("hors ligne"),
        std::string::npos);
}

TEST_P(SeveralInstances, ContactChangesAndRequestsAcrossInstances)
{
    const auto carol1 = client("127.0.0.4");
    const auto carol2 = second("127.0.0.4");
    const auto bob1 = client("127.0.0.3");
    const auto bob2 = second("127.0.0.3");

    // carol asks bob through instance 2; bob finds the request logging in on 1.
    logIn(carol2, "carol", "carol");
    EXPECT_EQ(carol2.get(qxd("bob", true, "3", "carol")).body, "ok");
    EXPECT_EQ(requestsIn(logIn(bob1, "bob", "bob").body), "carol\r\n");

    // bob's acceptance goes through both instances; each checks against
    // the database that he is logged in from there and that carol's
    // request still waits.
    EXPECT_EQ(bob1.get(qxd("bob", true, "1", "carol")).body, "ok");
    EXPECT_EQ(bob2.get(qxd("carol", true, "1", "bob")).body, "ok");
    EXPECT_EQ(bob1.get(qxd("bob", false, "3", "carol")).body, "ok");
    // Once it is gone, instance 2 no longer lets anyone else complete it.
    EXPECT_EQ(second("127.0.0.2").get(qxd("bob", true, "1", "alice")).body.rfind("refus\xE9 : ", 0), 0u);

    const auto bobAfter = logIn(bob2, "bob", "bob").body;
    EXPECT_EQ(contactsIn(bobAfter), "alice\r\ncarol\r\n");
    EXPECT_EQ(requestsIn(bobAfter), "");
    EXPECT_EQ(contactsIn(logIn(carol1, "carol", "carol").body), "bob\r\n");

    // carol blocks alice on 1; alice's tables read on 2 are untouched, and
    // carol's log-in on 2 lists the block.
    EXPECT_EQ(carol1.get(qxd("carol", true, "2", "alice")).body, "ok");
    EXPECT_EQ(blockedIn(logIn(carol2, "carol", "carol").body), "alice\r\n");
    EXPECT_EQ(blockedIn(logIn(second("127.0.0.2"), "alice", "alice").body), "");
}

TEST_P(SeveralInstances, RegistrationsAndAvatarsAcrossInstances)
{
    ASSERT_TRUE(registerThrough(second("127.0.0.1"), "Zo%E9", "pw", "zoe%40example.org").ok());
    // The name is taken for the other instance too, in any letter case.
    EXPECT_EQ(registerMember("ZO%C9", "pw").status, 400);

    const auto zoe1 = client("127.0.0.5");
    const auto zoe2 = second("127.0.0.5");
    EXPECT_EQ(logIn(zoe1, "Zo\xE9", "pw").body.rfind("autoris\xE9", 0), 0u);
    const std::string jpeg = makeTestJpeg(48, 40);
    // Uploaded through 2 (the log-in on 1 counts there), served by 1.
    EXPECT_EQ(zoe2.uploadAvatar("Zo\xE9", jpeg).body, "ok");
    EXPECT_TRUE(zoe1.get("/avatars/4.jpg").body == jpeg);
    EXPECT_EQ(zoe1.get("/script/getinfo.php?function=getmail&pseudo=zo\xE9").body, "zoe@example.org");
    const auto page = zoe1.get("/quixvale/index.php?page=affichmembre.php?id=4").body;
    EXPECT_NE(page.find("<img src=\"/avatars/4.jpg\""), std::string::npos);
    EXPECT_NE(page.find("en ligne"), std::string::npos);
}

// Every member reaches the instance through the balancer's address: each
// is still told apart by the address the balancer names, for presence and
// for who may change which contact table.
TEST_P(SeveralInstances, BehindABalancerMembersKeepTheirOwnAddresses)
{
    ASSERT_EQ(
        throughBalancer(logInTarget("alice", "alice", "abcd"), "10.0.0.2").body.rfind("autoris\xE9", 0), 0u);
    ASSERT_EQ(
        throughBalancer(logInTarget("bob", "bob", "efgh"), "10.0.0.3").body.rfind("autoris\xE9", 0), 0u);
    EXPECT_EQ(client("127.0.0.9").get(kPresence).body, "pseudo=alice<br>abcd<br>pseudo=bob<br>efgh<br>");

    // bob may not write himself into alice's contacts, though he comes
    // from the same balancer she does; alice may change her own.
    EXPECT_EQ(throughBalancer(qxd("alice", true, "1", "bob"), "10.0.0.3").body.rfind("refus\xE9 : ", 0), 0u);
    EXPECT_EQ(throughBalancer(qxd("alice", true, "2", "carol"), "10.0.0.2").body, "ok");
    EXPECT_EQ(
        blockedIn(throughBalancer(logInTarget("alice", "alice", "abcd"), "10.0.0.2").body), "carol\r\n");

    // Polls through the balancer keep only their own member online.
    m_now += 29 * 60;
    throughBalancer(kPresence, "10.0.0.3");
    m_now += 2 * 60;
    EXPECT_EQ(client("127.0.0.9").get(kPresence).body, "pseudo=bob<br>efgh<br>");
}

// Instances started at the same moment on a database that does not exist
// yet: one applies the migrations and seeds the demo, the others wait for
// it and find the work done.
TEST_P(SeveralInstances, StartingTogetherMigratesAndSeedsOnce)
{
    const TestDatabase fresh(GetParam(), m_dir, "together");
    ASSERT_FALSE(fresh.location().empty()) << fresh.error();
    constexpr int kInstances = 4;
    std::atomic<int> waiting { kInstances };
    std::vector<std::string> errors(kInstances);
    std::vector<std::thread> starts;
    for (int i = 0; i < kInstances; ++i) {
        starts.emplace_back([&, i] {
            --waiting;
            while (waiting > 0)
                std::this_thread::yield();
            try {
                devserver::Store store(fresh.location());
                devserver::DemoSeed::apply(store, m_now);
            } catch (const devserver::StoreError &e) {
                errors[static_cast<std::size_t>(i)] = e.what();
            }
        });
    }
    for (auto &t : starts)
        t.join();
    for (int i = 0; i < kInstances; ++i)
        EXPECT_EQ(errors[static_cast<std::size_t>(i)], "") << "instance " << i;

    devserver::Store store(fresh.location());
    EXPECT_EQ(store.schemaVersion(), devserver::Store::knownSchemaVersion());
    const struct
    {
        const char *name;
        std::int64_t id;
    } demo[] = { { "alice", 1 }, { "bob", 2 }, { "carol", 3 } };
    for (const auto &m : demo) {
        const auto member = store.findMember(m.name);
        ASSERT_TRUE(member.has_value()) << m.name;
        EXPECT_EQ(member->id, m.id) << m.name;
        EXPECT_TRUE(store.avatar(m.id).has_value()) << m.name;
    }
    EXPECT_FALSE(store.memberById(4).has_value());
    using devserver::Store;
    EXPECT_EQ(store.table(1, Store::Contacts), std::vector<std::string> { "bob" });
    EXPECT_EQ(store.table(1, Store::Requests), std::vector<std::string> { "carol" });
    EXPECT_EQ(store.table(2, Store::Contacts), std::vector<std::string> { "alice" });
    EXPECT_TRUE(store.table(3, Store::Contacts).empty());
}

} // namespace
