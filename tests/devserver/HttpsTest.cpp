// HTTPS on the service's own event loop. The handshake is read like any
// other bytes, with a clock the tests move, so half handshakes, silent TLS
// clients and slow heads meet the same limits as plain connections; then
// the whole service path over TLS on every engine, and the program's
// --tls-cert and --tls-key.
#include "ServiceFixture.h"
#include "ServiceProgram.h"
#include "TestAuthority.h"
#include "TestJpeg.h"
#include "TlsClient.h"

#include "HttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using devserver::HttpServer;

// A folder of its own for one test's keys and certificates.
class CertificateFolder
{
public:
    CertificateFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "voxlane-tls-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~CertificateFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

// Waits (on real time, with a generous guard) until `done` holds.
template <typename Condition> bool waitFor(Condition done)
{
    for (int i = 0; i < 1000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

class HttpsConnections : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_folder.path().empty());
        m_authority = std::make_unique<TestAuthority>(m_folder.path(), "community");
        m_service = m_authority->issue("service", { "127.0.0.1", "localhost" });
        ASSERT_EQ(m_authority->error(), "");
    }
    void TearDown() override { m_server.reset(); }

    void start(HttpServer::Tuning tuning = {})
    {
        tuning.clock = [this] { return m_nowMs.load(); };
        m_server = std::make_unique<HttpServer>(
            [](const devserver::HttpRequest &) { return devserver::HttpResponse::text("served"); },
            [this](const std::string &line) {
                std::lock_guard lock(m_logMutex);
                m_log.push_back(line);
            },
            devserver::HttpRequestParser::Limits {}, tuning);
        std::string error;
        ASSERT_TRUE(m_server->useTls(m_service.certificateFile, m_service.keyFile, &error)) << error;
        ASSERT_TRUE(m_server->listen("127.0.0.1", 0, &error)) << error;
        m_server->start();
    }

    std::unique_ptr<TlsClient> connect(const std::string &from = "127.0.0.1")
    {
        return std::make_unique<TlsClient>(m_server->port(), from, m_authority->certificateFile());
    }
    RawHttpClient client(const std::string &from = "127.0.0.1") const
    {
        return RawHttpClient(m_server->port(), from).overTls(m_authority->certificateFile());
    }

    bool waitForOpen(int count)
    {
        return waitFor([&] { return m_server->openConnections() == count; });
    }
    bool logged(const std::string &text)
    {
        return waitFor([&] {
            std::lock_guard lock(m_logMutex);
            return std::any_of(m_log.begin(), m_log.end(),
                [&](const std::string &l) { return l.find(text) != std::string::npos; });
        });
    }

    CertificateFolder m_folder;
    std::unique_ptr<TestAuthority> m_authority;
    TestAuthority::Issued m_service;
    std::atomic<std::int64_t> m_nowMs { 1'000'000 };
    std::unique_ptr<HttpServer> m_server;
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

TEST_F(HttpsConnections, ARequestIsAnsweredInsideTlsAndTheStreamEndsInOrder)
{
    start();
    const auto c = connect();
    ASSERT_TRUE(c->handshake()) << c->error();
    ASSERT_TRUE(c->send("GET /voxlane/getconnected.php HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    bool orderly = false;
    const std::string reply = c->readToEnd(&orderly);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("\r\n\r\nserved"), std::string::npos) << reply;
    // close_notify right after the reply: a cut-off reply could be told.
    EXPECT_TRUE(orderly);
    EXPECT_TRUE(logged("127.0.0.1 GET /voxlane/getconnected.php 200 6"));
}

TEST_F(HttpsConnections, ClientsThatCannotSpeakTlsWithItAreClosedAndOthersServed)
{
    start();
    // Plain HTTP on the HTTPS port: no reply, only a line in the log.
    EXPECT_EQ(RawHttpClient(m_server->port()).get("/").status, 0);
    EXPECT_TRUE(logged("127.0.0.1 TLS handshake failed: http request"));

    // A client that trusts another authority gives up in the handshake.
    TestAuthority stranger(m_folder.path(), "stranger");
    ASSERT_EQ(stranger.error(), "");
    TlsClient wary(m_server->port(), "127.0.0.3", stranger.certificateFile());
    EXPECT_FALSE(wary.handshake());
    EXPECT_NE(wary.error().find("certificate"), std::string::npos) << wary.error();
    EXPECT_TRUE(logged("127.0.0.3 TLS handshake failed: tlsv1 alert unknown ca"));

    // A client that checks for another name gives up too.
    TlsClient elsewhere(m_server->port(), "127.0.0.4", m_authority->certificateFile(), "voxlane.example.org");
    EXPECT_FALSE(elsewhere.handshake());

    EXPECT_EQ(client("127.0.0.5").get("/").body, "served");
    EXPECT_TRUE(waitForOpen(0));
}

// A handshake that never ends is silence: no request byte has come. Half
// handshakes hold a socket each, never the loop nor a worker.
TEST_F(HttpsConnections, HalfHandshakesAndSilentTlsClientsAreClosedAtTheIdleLimit)
{
    HttpServer::Tuning tuning;
    tuning.workers = 1;
    start(tuning);
    const auto nothing = connect("127.0.0.2");
    const auto half = connect("127.0.0.3");
    // A handshake record announcing 512 bytes, of which 6 come.
    ASSERT_TRUE(half->sendRaw(std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11)));
    const auto quiet = connect("127.0.0.4");
    ASSERT_TRUE(quiet->handshake()) << quiet->error();
    ASSERT_TRUE(waitForOpen(3));

    // Meanwhile the one worker serves others at once.
    EXPECT_EQ(client("127.0.0.9").get("/").body, "served");
    ASSERT_TRUE(waitForOpen(3));

    m_nowMs += HttpServer::Tuning {}.idleMs - 1;
    EXPECT_EQ(client("127.0.0.9").get("/").body, "served");
    EXPECT_TRUE(waitForOpen(3)); // not a moment too soon
    m_nowMs += 1;
    EXPECT_EQ(nothing->readRawToEnd(), "");
    EXPECT_EQ(half->readRawToEnd(), "");
    EXPECT_EQ(quiet->readToEnd(), "");
    EXPECT_TRUE(waitForOpen(0));
}

TEST_F(HttpsConnections, AHeadTricklingInOverTlsIsCutAtItsTotalTimeLimit)
{
    start();
    const auto slow = connect();
    ASSERT_TRUE(slow->handshake()) << slow->error();
    ASSERT_TRUE(slow->send("GET /voxlane/getcon"));
    // A whole request from elsewhere, answered only after the loop has also
    // read what `slow` sent before it: the clock moves only then.
    EXPECT_EQ(client("127.0.0.9").get("/").body, "served");
    ASSERT_TRUE(waitForOpen(1));
    for (int second = 1; second <= 9; ++second) {
        m_nowMs += 1000;
        ASSERT_TRUE(slow->send("n"));
    }
    m_nowMs += 1000;
    bool orderly = false;
    const std::string reply = slow->readToEnd(&orderly);
    EXPECT_EQ(reply.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << reply;
    EXPECT_TRUE(orderly);
}

TEST_F(HttpsConnections, ConnectionLimitsCountTlsConnections)
{
    HttpServer::Tuning tuning;
    tuning.maxPerAddress = 2;
    start(tuning);
    std::vector<std::unique_ptr<TlsClient>> held;
    for (int i = 0; i < 2; ++i) {
        held.push_back(connect("127.0.0.7"));
        ASSERT_TRUE(held.back()->handshake()) << held.back()->error();
        ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n")); // head never finished
    }
    ASSERT_TRUE(waitForOpen(2));

    // Over the limit: the handshake, then the request read and answered
    // 503 in words, inside TLS.
    const auto refused = client("127.0.0.7").get("/");
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body, "trop de connexions");
    EXPECT_EQ(client("127.0.0.8").get("/").body, "served");
}

TEST_F(HttpsConnections, ATamperedRecordEndsTheConnectionUnanswered)
{
    start();
    const auto c = connect();
    ASSERT_TRUE(c->handshake()) << c->error();
    ASSERT_TRUE(c->send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true));
    EXPECT_EQ(c->readToEnd(), "");
    EXPECT_TRUE(logged("127.0.0.1 TLS failed: "));
    EXPECT_TRUE(waitForOpen(0));
    EXPECT_EQ(client().get("/").body, "served");
}

// The service's whole client path, over TLS, on every engine.
class ServiceOverHttps : public ServiceFixture
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_folder.path().empty());
        m_authority = std::make_unique<TestAuthority>(m_folder.path(), "community");
        const auto issued = m_authority->issue("service", { "127.0.0.1" });
        ASSERT_EQ(m_authority->error(), "");
        m_https = Https { issued.certificateFile, issued.keyFile, m_authority->certificateFile() };
        ServiceFixture::SetUp();
    }

    CertificateFolder m_folder;
    std::unique_ptr<TestAuthority> m_authority;
};
VOXLANE_ON_EVERY_ENGINE(ServiceOverHttps);

TEST_P(ServiceOverHttps, LogInPresenceContactsCardsAndAvatars)
{
    const auto alice = client("127.0.0.2");
    const auto in = logIn(alice, "alice", "alice", "abcd");
    ASSERT_EQ(in.body.rfind("autoris\xE9\r\n", 0), 0u) << in.body;
    EXPECT_EQ(contactsIn(in.body), "bob\r\n");
    EXPECT_EQ(requestsIn(in.body), "carol\r\n");
    EXPECT_EQ(alice.get("/voxlane/getconnected.php").body, "pseudo=alice<br>abcd<br>");
    EXPECT_EQ(alice.get("/script/getinfo.php?function=getid&pseudo=alice").body, "1");
    EXPECT_EQ(alice.get("/script/getinfo.php?function=getinfo&pseudo=bob").body,
        "bob@voxlane.test\nhttps://voxlane.test/~bob");

    // Alice takes carol's request.
    EXPECT_EQ(alice.get(qxd("alice", true, "1", "carol")).body, "ok");
    EXPECT_EQ(alice.get(qxd("carol", true, "1", "alice")).body, "ok");
    EXPECT_EQ(alice.get(qxd("alice", false, "3", "carol")).body, "ok");

    const std::string jpeg = makeTestJpeg(94, 47);
    EXPECT_EQ(alice.uploadAvatar("alice", jpeg).body, "ok");
    const auto served = alice.get("/avatars/1.jpg");
    EXPECT_EQ(served.header("Content-Type"), "image/jpeg");
    EXPECT_TRUE(served.body == jpeg); // bytes compared without dumping them

    EXPECT_EQ(logOut(alice, "alice", "alice").body,
        "D\xE9"
        "connect\xE9");
    EXPECT_EQ(alice.get("/voxlane/getconnected.php").body, "");
    const auto again = logIn(alice, "alice", "alice", "abcd");
    EXPECT_EQ(contactsIn(again.body), "bob\r\ncarol\r\n");
    EXPECT_EQ(requestsIn(again.body), "");
    // The log reads as over HTTP, the digest masked.
    const auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                  "127.0.0.2 GET /voxlane/deconnect.php?pseudo=alice&psw=*** 200 10"),
        lines.end());
}

// The program itself: --tls-cert and --tls-key, and what it says when they
// cannot be used.
TEST(HttpsProgram, ServesHttpsWithItsCertificateAndStopsOnUnusableFiles)
{
    CertificateFolder folder;
    ASSERT_FALSE(folder.path().empty());
    TestAuthority authority(folder.path(), "community");
    const auto service = authority.issue("service", { "127.0.0.1" });
    const auto other = authority.issue("other", { "127.0.0.1" });
    ASSERT_EQ(authority.error(), "");
    const std::string db = folder.path() + "/service.sqlite";
    auto run = [&](const std::string &name, std::vector<std::string> tls) {
        const std::string dir = folder.path() + "/" + name;
        std::filesystem::create_directory(dir);
        std::vector<std::string> args { "--db", db, "--listen", "127.0.0.1:0", "--seed", "demo", "--quiet" };
        args.insert(args.end(), tls.begin(), tls.end());
        return std::make_unique<ServiceProgram>(dir, ServiceProgram::Options { args });
    };

    const auto good = run("good", { "--tls-cert", service.certificateFile, "--tls-key", service.keyFile });
    const int port = good->waitForPort();
    ASSERT_NE(port, 0) << good->errors();
    EXPECT_NE(good->output().find("serving https://127.0.0.1:" + std::to_string(port) + " from "),
        std::string::npos)
        << good->output();
    const auto reply = RawHttpClient(static_cast<std::uint16_t>(port))
                           .overTls(authority.certificateFile())
                           .get("/script/getinfo.php?function=getid&pseudo=bob");
    EXPECT_EQ(reply.body, "2");
    good->stop();

    const struct
    {
        const char *what;
        std::vector<std::string> tls;
        int status;
        const char *says;
    } cases[] = {
        { "no such certificate", { "--tls-cert", folder.path() + "/none.pem", "--tls-key", service.keyFile },
            1, "cannot serve HTTPS: cannot read the certificate" },
        { "another certificate's key", { "--tls-cert", service.certificateFile, "--tls-key", other.keyFile },
            1, "is not the one of the certificate" },
        { "a key as certificate", { "--tls-cert", service.keyFile, "--tls-key", service.keyFile }, 1,
            "no usable certificate in" },
        { "a certificate as key",
            { "--tls-cert", service.certificateFile, "--tls-key", service.certificateFile }, 1,
            "no usable private key in" },
        { "no key", { "--tls-cert", service.certificateFile }, 2, "--tls-cert and --tls-key go together" },
    };
    for (const auto &k : cases) {
        const auto program = run(k.what, k.tls);
        EXPECT_EQ(program->waitForExit(), k.status) << k.what;
        EXPECT_NE(program->errors().find(k.says), std::string::npos) << k.what << ": " << program->errors();
        EXPECT_EQ(program->output().find("serving"), std::string::npos) << k.what;
    }
}

} // namespace
