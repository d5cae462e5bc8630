// What survives a restart, the demo seeding, and the program itself.
#include "ServiceFixture.h"
#include "ServiceProgram.h"
#include "TestJpeg.h"

#include "DemoSeed.h"
#include "StoreError.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Persistence = ServiceFixture;
VOXLANE_ON_EVERY_ENGINE(Persistence);

TEST_P(Persistence, DataStillThereAfterRestart)
{
    ASSERT_TRUE(registerMember("%E9mile", "secret", "e%40x.org").ok());
    const auto emile = client("127.0.0.6");
    logIn(emile, "\xE9mile", "secret", "abab");
    ASSERT_EQ(emile.get("/script/qxd.php?pseudo=alice&cmd=1&catego=3&add=\xE9mile").body, "ok");
    const std::string jpeg = makeTestJpeg(40, 30);
    ASSERT_EQ(emile.uploadAvatar("\xE9mile", jpeg).body, "ok");
    logOut(emile, "\xE9mile", "secret");

    restart();
    EXPECT_EQ(m_store->schemaVersion(), devserver::Store::knownSchemaVersion());

    const auto c = client();
    EXPECT_EQ(logIn(c, "alice", "alice").body,
        "autoris\xE9\r\n[Contacts]\r\nbob\r\n[Bloqu\xE9s]\r\n[Ask]\r\ncarol\r\n\xE9mile\r\n[Messages]\r\n");
    EXPECT_EQ(logIn(c, "\xE9mile", "wrong").body, "Acc\xE8s refus\xE9");
    EXPECT_EQ(logIn(c, "\xE9mile", "secret").body.rfind("autoris\xE9", 0), 0u);
    EXPECT_TRUE(c.get("/avatars/4.jpg").body == jpeg);
    EXPECT_EQ(c.get("/script/getinfo.php?function=getmail&pseudo=\xE9mile").body, "e@x.org");
}

TEST_P(Persistence, DatabaseFromANewerProgramIsLeftAlone)
{
    stopService();
    {
        devserver::Store store(m_db->location());
        EXPECT_EQ(store.schemaVersion(), devserver::Store::knownSchemaVersion());
    }
    // Stamp the database as written by a later schema: opening must refuse
    // rather than run with tables it does not know.
    ASSERT_EQ(m_db->setSchemaVersion(99), "");
    EXPECT_THROW(devserver::Store store(m_db->location()), devserver::StoreError);
    EXPECT_THROW(devserver::Store store(m_db->unopenableLocation()), devserver::StoreError);

    ASSERT_EQ(m_db->setSchemaVersion(1), "");
    startService(false);
}

TEST_P(Persistence, PasswordsAreNotStoredInClear)
{
    stopService();
    const std::string bytes = m_db->storedBytes();
    ASSERT_NE(bytes.find("carol@voxlane.test"), std::string::npos); // the values are readable as such
    EXPECT_EQ(bytes.find(md5("carol")), std::string::npos);
    startService(false);
}

TEST_P(Persistence, DemoSeedRunsOncePerDatabase)
{
    const auto c = client("127.0.0.2");
    logIn(c, "alice", "alice");
    // alice handles carol's request and drops bob.
    c.get("/script/qxd.php?pseudo=alice&cmd=2&catego=3&del=carol");
    c.get("/script/qxd.php?pseudo=alice&cmd=2&catego=1&del=bob");
    devserver::DemoSeed::apply(*m_store, m_now);
    EXPECT_EQ(logIn(c, "alice", "alice").body,
        "autoris\xE9\r\n[Contacts]\r\n[Bloqu\xE9s]\r\n[Ask]\r\n[Messages]\r\n");
    EXPECT_EQ(c.get("/script/getinfo.php?function=getid&pseudo=carol").body, "3");
    EXPECT_EQ(c.get("/script/getinfo.php?function=getid&pseudo=dave").body, "");
}

TEST_P(Persistence, DemoSeedIsAllOrNothing)
{
    // A start that fails half-way through the seeding, here at the first
    // avatar, as a kill at that moment would.
    const TestDatabase fresh(GetParam(), m_dir, "seed");
    ASSERT_FALSE(fresh.location().empty()) << fresh.error();
    {
        devserver::Store store(fresh.location());
        ASSERT_EQ(fresh.exec("CREATE TRIGGER fail_avatar BEFORE INSERT ON avatars "
                             "BEGIN SELECT RAISE(ABORT, 'interrupted'); END",
                      "CREATE FUNCTION fail_avatar() RETURNS trigger LANGUAGE plpgsql AS "
                      "$$ BEGIN RAISE EXCEPTION 'interrupted'; END $$; "
                      "CREATE TRIGGER fail_avatar BEFORE INSERT ON avatars "
                      "FOR EACH ROW EXECUTE FUNCTION fail_avatar()"),
            "");
        EXPECT_THROW(devserver::DemoSeed::apply(store, m_now), devserver::StoreError);
        EXPECT_FALSE(store.findMember("alice").has_value()); // not even the members before it
        EXPECT_FALSE(store.hasMarker("demo-seed"));
    }
    ASSERT_EQ(fresh.exec("DROP TRIGGER fail_avatar", "DROP TRIGGER fail_avatar ON avatars"), "");

    // The next start seeds everything.
    devserver::Store store(fresh.location());
    devserver::DemoSeed::apply(store, m_now);
    for (const char *name : { "alice", "bob", "carol" }) {
        const auto member = store.findMember(name);
        ASSERT_TRUE(member.has_value()) << name;
        EXPECT_TRUE(store.avatar(member->id).has_value()) << name;
    }
    EXPECT_EQ(store.table(store.findMember("alice")->id, devserver::Store::Requests),
        std::vector<std::string> { "carol" });
}

TEST(DevserverProgram, ReadOnlyDatabaseIsReportedAndStopsTheStart)
{
    char dir[] = "/tmp/voxlane-devserver-ro-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string db = std::string(dir) + "/ro.sqlite";
    {
        devserver::Store store(db);
        devserver::DemoSeed::apply(store, 1'800'000'000);
    }
    // Readable by anyone, writable by nobody, folder included (the journal
    // goes there). As root the service runs as "nobody" so that this holds.
    std::filesystem::permissions(db, std::filesystem::perms::owner_read | std::filesystem::perms::group_read
            | std::filesystem::perms::others_read);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all | std::filesystem::perms::group_read
            | std::filesystem::perms::group_exec | std::filesystem::perms::others_read
            | std::filesystem::perms::others_exec);
    {
        ServiceProgram program(dir, { { "--db", db, "--listen", "127.0.0.1:0" }, true });
        EXPECT_EQ(program.waitForExit(), 1);
        EXPECT_NE(program.errors().find("voxlane-devserver: cannot write to " + db + ": "), std::string::npos)
            << program.errors();
        EXPECT_EQ(program.output().find("serving"), std::string::npos) << program.output();
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

// The built program: options, demo data, one log line per request.
TEST(DevserverProgram, ServesTheDemoFromTheCommandLine)
{
    char dir[] = "/tmp/voxlane-devserver-bin-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string db = std::string(dir) + "/run.sqlite";
    const std::string out = std::string(dir) + "/out.log";

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        ::execl(VOXLANE_DEVSERVER_BINARY, VOXLANE_DEVSERVER_BINARY, "--db", db.c_str(), "--listen",
            "127.0.0.1:0", "--seed", "demo", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    auto readOut = [&] {
        std::ifstream f(out);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    };
    int port = 0;
    for (int i = 0; i < 200 && port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        const std::string text = readOut();
        const auto at = text.find("http://127.0.0.1:");
        if (at != std::string::npos && text.find(' ', at) != std::string::npos)
            port = std::atoi(text.c_str() + at + 17);
    }
    ASSERT_NE(port, 0) << readOut();

    const RawHttpClient c(static_cast<std::uint16_t>(port));
    EXPECT_EQ(
        c.get("/voxlane/connect.php?pseudo=bob&psw=" + devserver::PasswordHash::md5Hex("bob") + "&ip=abcd")
            .body,
        "autoris\xE9\r\n[Contacts]\r\nalice\r\n[Bloqu\xE9s]\r\n[Ask]\r\n[Messages]\r\n");
    EXPECT_EQ(c.get("/voxlane/getconnected.php").body, "pseudo=bob<br>abcd<br>");

    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string log = readOut();
    EXPECT_NE(log.find("127.0.0.1 GET /voxlane/connect.php?pseudo=bob&psw=***&ip=abcd 200"), std::string::npos)
        << log;
    EXPECT_NE(log.find("127.0.0.1 GET /voxlane/getconnected.php 200 22"), std::string::npos) << log;
    EXPECT_EQ(log.find(devserver::PasswordHash::md5Hex("bob")), std::string::npos);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
