#pragma once

#include "HttpMessage.h"
#include "HttpRequestParser.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace devserver {

// A small HTTP/1.x server on POSIX sockets: one thread per connection, one
// request per connection (answered with "Connection: close"). It reads the
// request line itself because the client's targets carry raw blanks and
// Windows-1252 bytes, which stricter servers refuse.
class HttpServer
{
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;
    using Logger = std::function<void(const std::string &line)>;

    static constexpr int kMaxConnections = 64;
    static constexpr int kReadTimeoutSeconds = 10;

    HttpServer(Handler handler, Logger logger, HttpRequestParser::Limits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Binds to an IPv4 address and port (0: any free port); false with a
    // reason in `error` when that fails.
    bool listen(const std::string &address, std::uint16_t port, std::string *error = nullptr);
    std::uint16_t port() const { return m_port; }

    // Accepts connections on a thread of its own until stop().
    void start();
    // Runs the accept loop on the calling thread until stop() (from another
    // thread or a signal handler's flag).
    void run();
    void stop();
    // Only raises the flag run() watches: safe from a signal handler.
    void requestStop() { m_stopping = true; }

    // One log line: remote address, method, target (credentials masked,
    // unprintable bytes as \xHH), status and body size.
    static std::string logLine(
        const std::string &remote, const HttpRequest &request, int status, std::size_t bytes);

private:
    struct Connection
    {
        std::thread thread;
        std::atomic<bool> done { false };
    };

    void serve(int fd, const std::string &remote);
    void reap(bool all);

    Handler m_handler;
    Logger m_logger;
    HttpRequestParser::Limits m_limits;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::thread m_acceptThread;
    std::mutex m_connectionsMutex;
    std::list<std::unique_ptr<Connection>> m_connections;
};

} // namespace devserver
