// The built program, twice on one database: a change one instance has
// confirmed survives that instance being killed, served by the other; and
// what a PostgreSQL start says about its database.
#include "ServiceFixture.h"
#include "ServiceProgram.h"

#include "DemoSeed.h"
#include "SqlEngine.h"

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

class SeveralPrograms : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override
    {
        if (GetParam() == Engine::Postgres && testPostgresUrl().empty())
            GTEST_SKIP() << kNoPostgres;
        std::string pattern = (std::filesystem::temp_directory_path() / "voxlane-programs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_db = std::make_unique<TestDatabase>(GetParam(), m_dir, "programs");
        ASSERT_FALSE(m_db->location().empty()) << m_db->error();
    }

    void TearDown() override
    {
        m_db.reset();
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }

    std::unique_ptr<ServiceProgram> start(const std::string &name)
    {
        const auto folder = m_dir / name;
        std::filesystem::create_directory(folder);
        return std::make_unique<ServiceProgram>(folder.string(),
            ServiceProgram::Options {
                { "--db", m_db->location(), "--listen", "127.0.0.1:0", "--seed", "demo", "--quiet" } });
    }

    std::filesystem::path m_dir;
    std::unique_ptr<TestDatabase> m_db;
};
VOXLANE_ON_EVERY_ENGINE(SeveralPrograms);

// Waits (on real time, with a generous guard) until `done` holds.
template <typename Condition> bool waitFor(Condition done)
{
    for (int i = 0; i < 3000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

TEST_P(SeveralPrograms, KillingOneLosesNoConfirmedChange)
{
    const auto first = start("first");
    const auto second = start("second");
    const int port1 = first->waitForPort();
    const int port2 = second->waitForPort();
    ASSERT_NE(port1, 0) << first->errors();
    ASSERT_NE(port2, 0) << second->errors();
    const std::array<std::uint16_t, 2> ports { static_cast<std::uint16_t>(port1),
        static_cast<std::uint16_t>(port2) };

    // The two programs share presence.
    ASSERT_EQ(RawHttpClient(ports[0], "127.0.0.2")
                  .get(logInTarget("alice", "alice", "abcd"))
                  .body.rfind("autoris\xE9", 0),
        0u);
    EXPECT_EQ(RawHttpClient(ports[1], "127.0.0.9").get("/voxlane/getconnected.php").body,
        "pseudo=alice<br>abcd<br>");

    // Writers send their requests to both programs in turn: each registers
    // a member, logs it in, files its contact request with alice and puts
    // alice into its contacts. Whatever was answered as done is noted.
    std::mutex mutex;
    std::vector<std::string> registered, requested, befriended;
    std::atomic<int> confirmed { 0 };
    std::atomic<bool> stop { false };
    auto writer = [&](int w) {
        const std::string from = "127.0.5." + std::to_string(w + 1);
        for (int i = 0; !stop; ++i) {
            const RawHttpClient c(ports[static_cast<std::size_t>(i % 2)], from);
            const std::string name = "w" + std::to_string(w) + "n" + std::to_string(i);
            try {
                if (!registerThrough(c, name, "pw").ok())
                    continue;
                {
                    std::lock_guard lock(mutex);
                    registered.push_back(name);
                }
                ++confirmed;
                if (c.get(logInTarget(name, "pw", "abcd")).body.rfind("autoris\xE9", 0) != 0)
                    continue;
                if (c.get(qxd("alice", true, "3", name)).body == "ok") {
                    std::lock_guard lock(mutex);
                    requested.push_back(name);
                }
                if (c.get(qxd(name, true, "1", "alice")).body == "ok") {
                    std::lock_guard lock(mutex);
                    befriended.push_back(name);
                }
            } catch (const std::runtime_error &) {
                // The connection was refused: that program is gone.
            }
        }
    };
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back(writer, w);

    // Killed in the middle of the stream, then the writers go on a while
    // with only the survivor answering.
    const bool startedWriting = waitFor([&] { return confirmed >= 20; });
    ::kill(first->pid(), SIGKILL);
    const int atKill = confirmed;
    const bool wroteAfter = waitFor([&] { return confirmed >= atKill + 20; });
    stop = true;
    for (auto &t : writers)
        t.join();
    ASSERT_TRUE(startedWriting);
    ASSERT_TRUE(wroteAfter);
    EXPECT_EQ(first->waitForExit(), 128 + SIGKILL);

    // Every change either program confirmed is served by the survivor.
    const RawHttpClient check(ports[1], "127.0.0.7");
    for (const auto &name : registered)
        EXPECT_EQ(check.get(logInTarget(name, "pw", "abcd")).body.rfind("autoris\xE9", 0), 0u) << name;
    for (const auto &name : befriended)
        EXPECT_EQ(contactsIn(check.get(logInTarget(name, "pw", "abcd")).body), "alice\r\n") << name;
    const std::string waiting = requestsIn(check.get(logInTarget("alice", "alice", "abcd")).body);
    for (const auto &name : requested)
        EXPECT_NE(waiting.find("\r\n" + name + "\r\n"), std::string::npos) << name;
    std::cout << "confirmed before the kill: " << atKill << " registrations; in all: " << registered.size()
              << " registrations, " << requested.size() << " requests, " << befriended.size() << " contacts"
              << std::endl;
    EXPECT_GE(registered.size(), 40u);
    EXPECT_FALSE(requested.empty());
    EXPECT_FALSE(befriended.empty());
    EXPECT_EQ(second->stop(), 0);
}

// The server ends the service's idle connections (a restart, an
// administrator): the next requests get fresh ones instead of failing.
TEST(PostgresStore, ConnectionsTheServerClosedAreReplacedUnnoticed)
{
    if (testPostgresUrl().empty())
        GTEST_SKIP() << kNoPostgres;
    char dir[] = "/tmp/voxlane-devserver-pgdrop-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    {
        const TestDatabase db(Engine::Postgres, dir, "dropped");
        ASSERT_FALSE(db.location().empty()) << db.error();
        devserver::Store store(db.location());
        devserver::DemoSeed::apply(store, 1'800'000'000);
        // Several threads at once, so that several connections wait idle.
        const auto lookUpTogether = [&] {
            std::atomic<int> found { 0 };
            std::vector<std::thread> threads;
            for (int t = 0; t < 4; ++t) {
                threads.emplace_back([&] {
                    for (int i = 0; i < 20; ++i) {
                        try {
                            found += store.findMember("alice").has_value();
                        } catch (const devserver::StoreError &) {
                        }
                    }
                });
            }
            for (auto &t : threads)
                t.join();
            return found.load();
        };
        ASSERT_EQ(lookUpTogether(), 80);
        // Ends every other connection to the database, waiting until each is gone.
        ASSERT_EQ(db.exec("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                          "WHERE datname = current_database() AND pid <> pg_backend_pid()"),
            "");
        EXPECT_EQ(lookUpTogether(), 80);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

TEST(PostgresProgram, AReadOnlyRoleIsReportedAndStopsTheStart)
{
    if (testPostgresUrl().empty())
        GTEST_SKIP() << kNoPostgres;
    char dir[] = "/tmp/voxlane-devserver-pgro-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string role = "voxlane_reader_" + std::to_string(::getpid());
    {
        const TestDatabase db(Engine::Postgres, dir, "readonly");
        ASSERT_FALSE(db.location().empty()) << db.error();
        std::filesystem::create_directory(std::string(dir) + "/owner");
        {
            ServiceProgram owner(
                std::string(dir) + "/owner", { { "--db", db.location(), "--listen", "127.0.0.1:0" } });
            ASSERT_NE(owner.waitForPort(), 0) << owner.errors();
            EXPECT_NE(owner.output().find(
                          " from " + devserver::SqlEngine::displayName(db.location()) + " (schema "),
                std::string::npos)
                << owner.output();
        }
        // A role that may read the tables and nothing else.
        ASSERT_EQ(
            db.exec("CREATE ROLE " + role + " LOGIN; GRANT SELECT ON ALL TABLES IN SCHEMA public TO " + role),
            "");
        const std::string asReader = db.location()
            + (db.location().find('?') == std::string::npos ? "?" : "&") + "user=" + role
            + "&password=not-shown";
        std::filesystem::create_directory(std::string(dir) + "/reader");
        ServiceProgram reader(
            std::string(dir) + "/reader", { { "--db", asReader, "--listen", "127.0.0.1:0" } });
        EXPECT_EQ(reader.waitForExit(), 1);
        const std::string errors = reader.errors();
        EXPECT_NE(
            errors.find("voxlane-devserver: cannot write to " + devserver::SqlEngine::displayName(asReader)
                + ": postgresql: ERROR:  permission denied"),
            std::string::npos)
            << errors;
        EXPECT_EQ(errors.find("not-shown"), std::string::npos) << errors;
        EXPECT_EQ(reader.output().find("serving"), std::string::npos) << reader.output();
    }
    // The database (and the role's rights in it) went first.
    EXPECT_EQ(execOnTestServer("DROP ROLE IF EXISTS " + role), "");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace
