#pragma once

#include "ConnectionLimits.h"
#include "HttpMessage.h"
#include "HttpRequestParser.h"
#include "WorkerPool.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace devserver {

class TlsContext;

// A small HTTP/1.x server on POSIX sockets. One event-loop thread holds
// every connection (reading heads and bodies, writing replies, closing) so
// that clients who are slow or silent cost a socket each and never a thread;
// complete requests go to a few worker threads (WorkerPool), because
// answering one may wait on the database or decode a picture. What a client
// may hold and for how long is ConnectionLimits' to say; this class joins
// the two to the sockets. One request per connection,
// answered with "Connection: close". It reads the request line itself
// because the client's targets carry raw blanks and Windows-1252 bytes,
// which stricter servers refuse.
//
// With a certificate (useTls) it speaks HTTPS instead, on the same loop: the
// handshake is driven by the bytes the loop reads, never by a blocking call,
// and every limit and deadline holds for TLS connections as well. A
// handshake that never completes is silence: no request byte has come.
class HttpServer
{
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;
    using Logger = std::function<void(const std::string &line)>;
    using MillisecondClock = std::function<std::int64_t()>;

    // What one client may hold, and for how long (see ConnectionLimits),
    // in milliseconds of `clock` (the steady clock unless a test sets one);
    // and how many threads answer requests.
    struct Tuning : ConnectionLimits::Settings
    {
        int workers = 4;
        MillisecondClock clock;
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
    using Phase = ConnectionLimits::Phase;

    std::int64_t now() const;
    void acceptAll();
    void onReadable(Connection &c);
    void onWritable(Connection &c);
    void checkDeadline(Connection &c, std::int64_t now);
    void answer(Connection &c, const HttpResponse &response, const HttpRequest &request);
    void sendReply(Connection &c, std::string_view bytes);
    void queue(Connection &c, std::string_view bytes);
    void endTls(Connection &c);
    void beginLinger(Connection &c);
    void close(Connection &c);
    void takeFinished();
    // A worker's whole job: the handler's reply to one request, as bytes.
    std::string respond(const HttpRequest &request);
    void wake();

    Handler m_handler;
    Logger m_logger;
    HttpRequestParser::Limits m_requestLimits;
    MillisecondClock m_clock;
    int m_workerCount;
    std::unique_ptr<TlsContext> m_tls;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_open { 0 };
    std::thread m_loopThread;

    // Owned by the loop thread.
    ConnectionLimits m_limits;
    std::map<std::uint64_t, std::unique_ptr<Connection>> m_connections;
    std::uint64_t m_nextId = 1;

    // Declared last: its threads call back into the members above.
    WorkerPool m_workers;
};

} // namespace devserver
