#pragma once

#include "HttpMessage.h"
#include "HttpRequestParser.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace devserver {

class TlsContext;

// A small HTTP/1.x server on POSIX sockets. One event-loop thread holds
// every connection (reading heads and bodies, writing replies, closing) so
// that clients who are slow or silent cost a socket each and never a thread;
// complete requests go to a few worker threads, because answering one may
// wait on the database or decode a picture. One request per connection,
// answered with "Connection: close". It reads the request line itself
// because the client's targets carry raw blanks and Windows-1252 bytes,
// which stricter servers refuse.
//
// With a certificate (useTls) it speaks HTTPS instead, on the same loop: the
// handshake is driven by the bytes the loop reads, never by a blocking call,
// and every limit and deadline below holds for TLS connections as well. A
// handshake that never completes is silence: no request byte has come.
class HttpServer
{
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;
    using Logger = std::function<void(const std::string &line)>;
    using MillisecondClock = std::function<std::int64_t()>;

    // What one client may hold, and for how long. Times are in
    // milliseconds of `clock` (the steady clock unless a test sets one).
    struct Tuning
    {
        // Connections being read, answered or written, from all addresses.
        int maxConnections = 512;
        // ... and from one remote address.
        int maxPerAddress = 32;
        // Connections over a limit are still read and answered 503; beyond
        // this many of those at once, an address over its limit is closed
        // straight away so that the others are still accepted.
        int maxRefusing = 256;
        // Request bodies held in memory, all connections together.
        std::size_t maxBufferedBodies = 48 * 1024 * 1024;
        // A connection that has sent nothing at all.
        std::int64_t idleMs = 2000;
        // The whole request head, counted from the connection, however
        // steadily its bytes trickle in.
        std::int64_t headMs = 10000;
        // The whole request, body included.
        std::int64_t requestMs = 60000;
        // Reading the request of a connection that is going to be refused.
        std::int64_t refuseReadMs = 1000;
        // Writing the reply.
        std::int64_t writeMs = 30000;
        // After the reply, reading what the client still sends, so that
        // closing does not reset the connection and lose the reply.
        std::int64_t lingerMs = 1000;
        int workers = 4;
        MillisecondClock clock;
        // Load balancers in front of this instance (IPv4 addresses). A
        // request from one of them comes from the address it names last in
        // X-Forwarded-For (400 without one); its connections count against
        // maxConnections only, the balancer limiting each client itself.
        std::vector<std::string> trustedProxies;
    };

    HttpServer(Handler handler, Logger logger, HttpRequestParser::Limits limits = {});
    HttpServer(Handler handler, Logger logger, HttpRequestParser::Limits limits, Tuning tuning);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Binds to an IPv4 address and port (0: any free port); false with a
    // reason in `error` when that fails.
    bool listen(const std::string &address, std::uint16_t port, std::string *error = nullptr);
    std::uint16_t port() const { return m_port; }

    // Serves HTTPS with this certificate (and the chain after it) and key,
    // PEM files; false with a reason in `error` when they cannot be used.
    // Called before start() or run().
    bool useTls(const std::string &certificateFile, const std::string &keyFile, std::string *error = nullptr);
    bool tls() const { return m_tls != nullptr; }

    // Serves on a thread of its own until stop().
    void start();
    // Serves on the calling thread until stop() (from another thread) or
    // requestStop() (from a signal handler).
    void run();
    void stop();
    // Only raises the flag run() watches: safe from a signal handler.
    void requestStop() { m_stopping = true; }

    // Connections open right now, refusals included (read by tests).
    int openConnections() const { return m_open; }

    // One log line: remote address, method, target (credentials masked,
    // unprintable bytes as \xHH), status and body size.
    static std::string logLine(
        const std::string &remote, const HttpRequest &request, int status, std::size_t bytes);
    // The client's address a balancer names last in X-Forwarded-For, as
    // dotted IPv4; nothing when it names none that is valid.
    static std::optional<std::string> forwardedClient(const HttpRequest &request);

private:
    struct Connection;
    struct Job
    {
        std::uint64_t id;
        HttpRequest request;
    };
    struct Done
    {
        std::uint64_t id;
        std::string bytes;
    };

    std::int64_t now() const;
    void acceptAll();
    void onReadable(Connection &c);
    void onWritable(Connection &c);
    void checkDeadline(Connection &c, std::int64_t now);
    void answer(Connection &c, const HttpResponse &response, const HttpRequest &request);
    void queue(Connection &c, std::string_view bytes);
    void endTls(Connection &c);
    void beginLinger(Connection &c);
    void close(Connection &c);
    void takeFinished();
    void workerLoop();
    void wake();

    Handler m_handler;
    Logger m_logger;
    HttpRequestParser::Limits m_limits;
    Tuning m_tuning;
    std::unique_ptr<TlsContext> m_tls;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_open { 0 };
    std::thread m_loopThread;

    // Owned by the loop thread.
    std::map<std::uint64_t, std::unique_ptr<Connection>> m_connections;
    std::map<std::string, int> m_perAddress;
    std::uint64_t m_nextId = 1;
    int m_served = 0;
    int m_refusing = 0;
    std::size_t m_bufferedBodies = 0;

    // Shared between the loop and the workers.
    std::mutex m_jobsMutex;
    std::condition_variable m_jobsReady;
    std::deque<Job> m_jobs;
    std::deque<Done> m_done;
    bool m_workersStop = false;
    std::vector<std::thread> m_workers;
};

} // namespace devserver
