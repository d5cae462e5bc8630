// What slow, silent and too many connections get from the HTTP server, with
// a clock the tests move: the server's time limits are read from it, so no
// test waits for real time to pass.
#include "RawHttpClient.h"

#include "HttpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using devserver::HttpServer;

// A client socket held open by the test.
class Socket
{
public:
    Socket(std::uint16_t port, const std::string &from)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local {};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        sockaddr_in server {};
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
        timeval timeout { 10, 0 }; // only a guard against a hung test
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        m_connected = ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0
            && ::connect(m_fd, reinterpret_cast<sockaddr *>(&server), sizeof server) == 0;
    }
    ~Socket() { ::close(m_fd); }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    bool connected() const { return m_connected; }
    bool send(std::string_view bytes) const
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    // Everything until the server closes; `reset` tells whether the close
    // came as a reset instead of an orderly end.
    std::string readToEnd(bool *reset = nullptr) const
    {
        std::string all;
        char buffer[8192];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                all.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (reset)
                *reset = n < 0;
            return all;
        }
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

class ConnectionLimits : public ::testing::Test
{
protected:
    void start(HttpServer::Tuning tuning, HttpServer::Handler handler = nullptr)
    {
        tuning.clock = [this] { return m_nowMs.load(); };
        if (!handler)
            handler = [](const devserver::HttpRequest &) { return devserver::HttpResponse::text("served"); };
        m_server = std::make_unique<HttpServer>(
            std::move(handler), nullptr, devserver::HttpRequestParser::Limits {}, tuning);
        std::string error;
        ASSERT_TRUE(m_server->listen("127.0.0.1", 0, &error)) << error;
        m_server->start();
    }
    void TearDown() override { m_server.reset(); }

    // Waits (on real time, with a generous guard) until the server holds
    // that many connections; the event loop takes them in its own time.
    bool waitForOpen(int count)
    {
        for (int i = 0; i < 1000; ++i) {
            if (m_server->openConnections() == count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::unique_ptr<Socket> connect(const std::string &from = "127.0.0.1")
    {
        return std::make_unique<Socket>(m_server->port(), from);
    }

    std::atomic<std::int64_t> m_nowMs { 1'000'000 };
    std::unique_ptr<HttpServer> m_server;
};

TEST_F(ConnectionLimits, AHeadTricklingInIsCutAtItsTotalTimeLimit)
{
    start({});
    auto slow = connect();
    ASSERT_TRUE(slow->send("GET /voxlane/getcon"));
    ASSERT_TRUE(waitForOpen(1));
    // A byte now and then does not buy more time: the limit counts from
    // the connection, not from the last byte.
    for (int second = 1; second <= 9; ++second) {
        m_nowMs += 1000;
        ASSERT_TRUE(slow->send("n"));
    }
    m_nowMs += 1000;
    bool reset = true;
    const std::string reply = slow->readToEnd(&reset);
    EXPECT_EQ(reply.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << reply;
    EXPECT_FALSE(reset);
    slow.reset();
    EXPECT_TRUE(waitForOpen(0));
}

TEST_F(ConnectionLimits, ASilentConnectionIsClosedQuicklyWithoutReply)
{
    start({});
    const auto silent = connect();
    ASSERT_TRUE(waitForOpen(1));
    const auto talking = connect();
    ASSERT_TRUE(talking->send("GET / HT"));
    // A whole request from elsewhere, answered only after the loop has
    // also read what `talking` sent before it.
    EXPECT_EQ(RawHttpClient(m_server->port(), "127.0.0.9").get("/").body, "served");
    ASSERT_TRUE(waitForOpen(2));

    m_nowMs += HttpServer::Tuning {}.idleMs;
    EXPECT_EQ(silent->readToEnd(), "");
    // The one that has started its request keeps the rest of its time.
    EXPECT_TRUE(waitForOpen(1));
    ASSERT_TRUE(talking->send("TP/1.1\r\n\r\n"));
    EXPECT_NE(talking->readToEnd().find("\r\n\r\nserved"), std::string::npos);
}

TEST_F(ConnectionLimits, OneAddressCannotTakeEveryConnection)
{
    HttpServer::Tuning tuning;
    tuning.maxPerAddress = 3;
    start(tuning);
    std::vector<std::unique_ptr<Socket>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(connect("127.0.0.7"));
        ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n")); // head never finished
    }
    ASSERT_TRUE(waitForOpen(3));

    // Over the limit: the request is read, then answered 503 in words,
    // then the connection closes in order, even with a body on the way.
    const std::string body(200 * 1024, 'x');
    const auto refused = connect("127.0.0.7");
    ASSERT_TRUE(refused->send("POST /avatars/uploadqxa.php?pseudo=alice HTTP/1.0\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body));
    bool reset = true;
    const std::string reply = refused->readToEnd(&reset);
    EXPECT_EQ(reply.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << reply.substr(0, 200);
    EXPECT_NE(reply.find("\r\n\r\ntrop de connexions"), std::string::npos);
    EXPECT_FALSE(reset);

    // Other addresses are served meanwhile.
    const RawHttpClient other(m_server->port(), "127.0.0.8");
    EXPECT_EQ(other.get("/").body, "served");
}

TEST_F(ConnectionLimits, FullServiceAnswersInWordsAndTakesNewcomersAgainOnceFreed)
{
    HttpServer::Tuning tuning;
    tuning.maxConnections = 4;
    start(tuning);
    std::vector<std::unique_ptr<Socket>> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(connect("127.0.0." + std::to_string(10 + i)));
        ASSERT_TRUE(held.back()->send("G"));
    }
    ASSERT_TRUE(waitForOpen(4));
    const RawHttpClient newcomer(m_server->port(), "127.0.0.20");
    const auto full = newcomer.get("/");
    EXPECT_EQ(full.status, 503);
    EXPECT_EQ(full.body, "trop de connexions");

    // The held ones run out of time; then there is room again.
    m_nowMs += HttpServer::Tuning {}.headMs;
    for (const auto &s : held)
        EXPECT_EQ(s->readToEnd().rfind("HTTP/1.1 408", 0), 0u);
    held.clear();
    ASSERT_TRUE(waitForOpen(0));
    EXPECT_EQ(newcomer.get("/").body, "served");
}

TEST_F(ConnectionLimits, BodiesHeldInMemoryAreBoundedAndSlowBodiesCut)
{
    HttpServer::Tuning tuning;
    tuning.maxBufferedBodies = 100 * 1024;
    start(tuning);
    auto post = [](std::size_t length) {
        return "POST /avatars/uploadqxa.php?pseudo=alice HTTP/1.0\r\nContent-Length: " + std::to_string(length)
            + "\r\n\r\n";
    };
    // One upload takes 80 KiB of the budget and sends half of it.
    const auto first = connect("127.0.0.2");
    ASSERT_TRUE(first->send(post(80 * 1024) + std::string(40 * 1024, 'a')));
    // A second one would pass the budget: refused in words, body read away.
    const auto second = connect("127.0.0.3");
    ASSERT_TRUE(second->send(post(80 * 1024) + std::string(80 * 1024, 'b')));
    bool reset = true;
    const std::string refused = second->readToEnd(&reset);
    EXPECT_EQ(refused.rfind("HTTP/1.1 503 ", 0), 0u) << refused.substr(0, 100);
    EXPECT_FALSE(reset);

    // The first one's body does not come whole in time: 408.
    m_nowMs += HttpServer::Tuning {}.requestMs;
    EXPECT_EQ(first->readToEnd().rfind("HTTP/1.1 408 ", 0), 0u);
}

TEST_F(ConnectionLimits, ManyMoreWaitingConnectionsThanThreads)
{
    HttpServer::Tuning tuning;
    tuning.workers = 2;
    start(tuning);
    // 300 connections from ten addresses, each mid-way through its head.
    std::vector<std::unique_ptr<Socket>> waiting;
    for (int i = 0; i < 300; ++i) {
        waiting.push_back(connect("127.0.1." + std::to_string(1 + i % 10)));
        ASSERT_TRUE(waiting.back()->connected()) << i;
        ASSERT_TRUE(waiting.back()->send("GET /"));
    }
    ASSERT_TRUE(waitForOpen(300));
    const RawHttpClient c(m_server->port(), "127.0.0.2");
    EXPECT_EQ(c.get("/").body, "served");
    // And each of them is still answered when it finishes.
    ASSERT_TRUE(waiting.front()->send(" HTTP/1.1\r\n\r\n"));
    EXPECT_NE(waiting.front()->readToEnd().find("served"), std::string::npos);
}

// Behind a load balancer every connection comes from the balancer: the
// member's address is the one it names last in X-Forwarded-For, and the
// per-address limit is the balancer's to keep.
TEST_F(ConnectionLimits, ATrustedBalancerNamesTheClientAndIsNotHeldToThePerAddressLimit)
{
    HttpServer::Tuning tuning;
    tuning.maxPerAddress = 2;
    tuning.trustedProxies = { "127.0.0.50" };
    start(tuning, [](const devserver::HttpRequest &r) {
        return devserver::HttpResponse::text("from " + r.remoteAddr);
    });
    const auto forwarded
        = [](const std::string &header) { return "GET / HTTP/1.1\r\nHost: voxlane\r\n" + header + "\r\n"; };
    const RawHttpClient balancer(m_server->port(), "127.0.0.50");
    const RawHttpClient member(m_server->port(), "127.0.0.51");
    const struct
    {
        const char *what;
        const RawHttpClient &from;
        std::string request;
        int status;
        const char *body;
    } cases[] = {
        { "one address", balancer, forwarded("X-Forwarded-For: 10.1.2.3\r\n"), 200, "from 10.1.2.3" },
        // What the client claimed itself comes first; the balancer's own last.
        { "a list", balancer, forwarded("X-Forwarded-For: 6.6.6.6, 10.1.2.3\r\n"), 200, "from 10.1.2.3" },
        { "two headers", balancer, forwarded("x-forwarded-for: 6.6.6.6\r\nX-Forwarded-For:10.1.2.4\r\n"), 200,
            "from 10.1.2.4" },
        { "no header", balancer, forwarded(""), 400, "X-Forwarded-For attendu" },
        { "not an address", balancer, forwarded("X-Forwarded-For: 10.1.2.3, unknown\r\n"), 400,
            "X-Forwarded-For attendu" },
        // Anyone else's say is ignored.
        { "not the balancer", member, forwarded("X-Forwarded-For: 10.1.2.3\r\n"), 200, "from 127.0.0.51" },
    };
    for (const auto &k : cases) {
        const auto r = k.from.exchange(k.request);
        EXPECT_EQ(r.status, k.status) << k.what;
        EXPECT_EQ(r.body, k.body) << k.what;
    }

    // More connections from the balancer than one address may hold.
    std::vector<std::unique_ptr<Socket>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(connect("127.0.0.50"));
        ASSERT_TRUE(held.back()->send("GET / HTTP/1.1\r\n"));
    }
    ASSERT_TRUE(waitForOpen(3));
    EXPECT_EQ(balancer.exchange(forwarded("X-Forwarded-For: 10.1.2.5\r\n")).body, "from 10.1.2.5");
    // An address that is not a balancer still meets its limit.
    auto first = connect("127.0.0.51");
    auto second = connect("127.0.0.51");
    ASSERT_TRUE(first->send("G") && second->send("G"));
    ASSERT_TRUE(waitForOpen(5));
    EXPECT_EQ(member.get("/").status, 503);
}

} // namespace
