// Log-in, presence and log-out over real HTTP, with the exact reply bytes
// the client reads.
#include "ServiceFixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kAliceLogIn = "autoris\xE9\r\n"
                                "[Contacts]\r\nbob\r\n"
                                "[Bloqu\xE9s]\r\n"
                                "[Ask]\r\ncarol\r\n"
                                "[Messages]\r\n";

using Session = ServiceFixture;
VOXLANE_ON_EVERY_ENGINE(Session);

TEST_P(Session, LogInPollLogOutCycleWithExactReplies)
{
    const auto alice = client("127.0.0.2");
    const auto bob = client("127.0.0.3");

    EXPECT_EQ(alice.get("/voxlane/getconnected.php").body, "");

    const auto in = logIn(alice, "alice", "alice", "abcdefgh");
    ASSERT_TRUE(in.ok());
    EXPECT_EQ(in.body, kAliceLogIn);
    EXPECT_EQ(in.header("Content-Type"), "text/html; charset=windows-1252");
    EXPECT_EQ(logIn(bob, "bob", "bob", "ponmlkji").body,
        "autoris\xE9\r\n[Contacts]\r\nalice\r\n[Bloqu\xE9s]\r\n[Ask]\r\n[Messages]\r\n");

    // Records in the order the members came online.
    EXPECT_EQ(
        bob.get("/voxlane/getconnected.php").body, "pseudo=alice<br>abcdefgh<br>pseudo=bob<br>ponmlkji<br>");

    const auto out = logOut(alice, "alice", "alice");
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out.body,
        "D\xE9"
        "connect\xE9");
    EXPECT_EQ(bob.get("/voxlane/getconnected.php").body, "pseudo=bob<br>ponmlkji<br>");

    // Logging in again replaces the address instead of listing the member twice.
    logIn(bob, "bob", "bob", "aaaa");
    EXPECT_EQ(bob.get("/voxlane/getconnected.php").body, "pseudo=bob<br>aaaa<br>");
}

TEST_P(Session, RefusedAndUnknownMembers)
{
    const auto c = client();
    const struct
    {
        const char *what;
        std::string target;
    } cases[] = {
        { "wrong password", "/voxlane/connect.php?pseudo=alice&psw=" + md5("bob") + "&ip=abcd" },
        { "unknown member", "/voxlane/connect.php?pseudo=zoe&psw=" + md5("zoe") + "&ip=abcd" },
        { "empty pseudonym", "/voxlane/connect.php?pseudo=&psw=" + md5("") + "&ip=abcd" },
        { "other letter case", "/voxlane/connect.php?pseudo=ALICE&psw=" + md5("alice") + "&ip=abcd" },
        { "blanks around the name", "/voxlane/connect.php?pseudo= alice &psw=" + md5("alice") + "&ip=abcd" },
        { "no address", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") },
        { "address breaking presence records",
            "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=ab<br>" },
        // Only what the address encoding writes: letters a..p, two a byte,
        // the terminator included.
        { "forged record", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=Zpseudo=bob" },
        { "empty address", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=" },
        { "odd letter count", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=abcde" },
        { "terminator only", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=ab" },
        { "letter past p", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=abcq" },
        { "capitals", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=ABCD" },
        { "dotted address", "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=10.0.0.1" },
        { "too long",
            "/voxlane/connect.php?pseudo=alice&psw=" + md5("alice") + "&ip=" + std::string(94, 'a') },
    };
    for (const auto &c2 : cases) {
        const auto r = c.get(c2.target);
        EXPECT_EQ(r.status, 200) << c2.what; // a refusal, not a network failure
        EXPECT_EQ(r.body, "Acc\xE8s refus\xE9") << c2.what;
    }
    EXPECT_EQ(c.get("/voxlane/getconnected.php").body, "");
    // The longest address the encoding writes for a text address still goes.
    EXPECT_EQ(logIn(c, "bob", "bob", std::string(92, 'p')).body.rfind("autoris\xE9", 0), 0u);
    logOut(c, "bob", "bob");

    // A wrong digest cannot log somebody else out.
    logIn(c, "alice", "alice", "abcd");
    EXPECT_EQ(logOut(c, "alice", "wrong").body, "Acc\xE8s refus\xE9");
    EXPECT_EQ(logOut(c, "nobody", "nobody").body, "Acc\xE8s refus\xE9");
    EXPECT_EQ(c.get("/voxlane/getconnected.php").body, "pseudo=alice<br>abcd<br>");
}

TEST_P(Session, AccentedPseudonymSentRaw)
{
    // Registered through the browser form, which url-encodes Windows-1252.
    ASSERT_TRUE(registerMember("%E9mile", "secret", "emile%40voxlane.test").ok());
    const auto c = client();

    // The client sends the 0xE9 byte itself in the target.
    const auto in = logIn(c, "\xE9mile", "secret", "ijkl");
    EXPECT_EQ(in.body, "autoris\xE9\r\n[Contacts]\r\n[Bloqu\xE9s]\r\n[Ask]\r\n[Messages]\r\n");
    EXPECT_EQ(c.get("/voxlane/getconnected.php").body, "pseudo=\xE9mile<br>ijkl<br>");
    // Looked up ignoring letter case, the accented capital included.
    EXPECT_EQ(c.get("/script/getinfo.php?function=getcorrectpseudo&pseudo=\xC9MILE").body, "\xE9mile");
    EXPECT_EQ(c.get("/script/getinfo.php?function=getid&pseudo=\xC9mile").body, "4");
    EXPECT_EQ(c.get("/script/getinfo.php?function=getmail&pseudo=\xE9mile").body, "emile@voxlane.test");
    EXPECT_EQ(logOut(c, "\xE9mile", "secret").body,
        "D\xE9"
        "connect\xE9");

    // The log shows the byte escaped, and never the digest.
    std::vector<std::string> lines;
    for (int i = 0; i < 100 && lines.size() < 7; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lines = logLines();
    }
    EXPECT_EQ(lines.size(), 7u);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                  "127.0.0.1 GET /voxlane/connect.php?pseudo=\\xE9mile&psw=***&ip=ijkl 200 52"),
        lines.end());
}

TEST_P(Session, OnlineUntilThirtyMinutesWithoutRequestsFromTheAddress)
{
    const auto alice = client("127.0.0.2");
    const auto other = client("127.0.0.3");
    logIn(alice, "alice", "alice", "abcd");

    // Polling from alice's address keeps her online indefinitely.
    for (int i = 0; i < 3; ++i) {
        m_now += 29 * 60;
        EXPECT_EQ(alice.get("/voxlane/getconnected.php").body, "pseudo=alice<br>abcd<br>") << i;
    }
    // Requests from elsewhere do not; 30 minutes are still within the limit.
    m_now += 30 * 60;
    EXPECT_EQ(other.get("/voxlane/getconnected.php").body, "pseudo=alice<br>abcd<br>");
    m_now += 1;
    EXPECT_EQ(other.get("/voxlane/getconnected.php").body, "");
    // A late request from her address does not bring her back.
    EXPECT_EQ(alice.get("/voxlane/getconnected.php").body, "");
}

TEST_P(Session, MalformedRequestsAreRefusedAndTheServiceGoesOn)
{
    const auto c = client();
    const struct
    {
        const char *what;
        std::string bytes;
        int status;
    } cases[] = {
        { "not HTTP", "hello\r\n\r\n", 400 },
        { "unknown version", "GET / HTTP/2.0\r\n\r\n", 400 },
        { "control byte in target", std::string("GET /a\x01 HTTP/1.1\r\n\r\n"), 400 },
        { "target too long",
            "GET /voxlane/connect.php?pseudo=" + std::string(5000, 'a') + " HTTP/1.1\r\n\r\n", 414 },
        { "head too long", "GET / HTTP/1.1\r\nX: " + std::string(20000, 'a') + "\r\n\r\n", 431 },
        { "body too long",
            "POST /avatars/uploadqxa.php?pseudo=alice HTTP/1.0\r\nContent-Length: 2000000\r\n\r\n", 413 },
        { "chunked body",
            "POST /avatars/uploadqxa.php HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 501 },
        { "unknown page", "GET /nothing/here.php HTTP/1.1\r\n\r\n", 404 },
        { "wrong method", "DELETE /voxlane/getconnected.php HTTP/1.1\r\n\r\n", 405 },
    };
    for (const auto &k : cases)
        EXPECT_EQ(c.exchange(k.bytes).status, k.status) << k.what;
    EXPECT_EQ(logIn(c, "alice", "alice").body, kAliceLogIn);
}

TEST_P(Session, BrokenDatabaseReadsAsServiceErrorNotAsRefusal)
{
    // Another program damages the database under the running service.
    ASSERT_EQ(m_db->exec("DROP TABLE presence"), "");

    const auto c = client();
    const auto in = logIn(c, "alice", "alice");
    EXPECT_EQ(in.status, 200);
    EXPECT_EQ(in.body, "error: service indisponible");
    EXPECT_EQ(c.get("/voxlane/getconnected.php").status, 500);
}

TEST_P(Session, AHalfSentRequestDoesNotHoldUpOthers)
{
    // A client that stops in the middle of its request line keeps its own
    // connection busy only.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_server->port());
    ::inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_GT(::send(fd, "GET /voxlane/conn", 17, 0), 0);

    EXPECT_EQ(logIn(client(), "bob", "bob").body.rfind("autoris\xE9", 0), 0u);
    // The half-sent request was held all along and is answered once whole.
    const std::string rest = "ect.php?pseudo=alice&psw=" + md5("alice") + "&ip=abcd HTTP/1.1\r\n\r\n";
    ASSERT_EQ(::send(fd, rest.data(), rest.size(), 0), static_cast<ssize_t>(rest.size()));
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), kAliceLogIn);
    ::close(fd);
}

} // namespace
