#include "HttpServer.h"

#include "RawTarget.h"
#include "Win1252.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace devserver {

namespace {

bool sendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

HttpServer::HttpServer(Handler handler, Logger logger, HttpRequestParser::Limits limits)
    : m_handler(std::move(handler))
    , m_logger(std::move(logger))
    , m_limits(limits)
{
}

HttpServer::~HttpServer()
{
    stop();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

bool HttpServer::listen(const std::string &address, std::uint16_t port, std::string *error)
{
    auto failed = [&](const std::string &what) {
        if (error)
            *error = what + ": " + std::strerror(errno);
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    };
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        if (error)
            *error = "not an IPv4 address: " + address;
        return false;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return failed("socket");
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        return failed("bind " + address + ":" + std::to_string(port));
    if (::listen(m_listenFd, 64) != 0)
        return failed("listen");
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    return true;
}

void HttpServer::start()
{
    m_acceptThread = std::thread([this] { run(); });
}

void HttpServer::stop()
{
    m_stopping = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    reap(true);
}

void HttpServer::run()
{
    while (!m_stopping) {
        pollfd p { m_listenFd, POLLIN, 0 };
        // Wake up now and then to notice stop().
        if (::poll(&p, 1, 200) <= 0)
            continue;
        sockaddr_in peer {};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr *>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        const std::string remote = text;

        reap(false);
        std::lock_guard lock(m_connectionsMutex);
        if (m_connections.size() >= kMaxConnections) {
            sendAll(fd, HttpResponse::text("trop de connexions", 503).serialize());
            ::close(fd);
            continue;
        }
        auto connection = std::make_unique<Connection>();
        Connection *c = connection.get();
        try {
            c->thread = std::thread([this, fd, remote, c] {
                serve(fd, remote);
                c->done = true;
            });
        } catch (const std::system_error &) { // no thread to be had: refuse, keep serving
            sendAll(fd, HttpResponse::text("trop de connexions", 503).serialize());
            ::close(fd);
            continue;
        }
        m_connections.push_back(std::move(connection));
    }
}

void HttpServer::reap(bool all)
{
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(m_connectionsMutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto &c : finished)
        c->thread.join();
}

void HttpServer::serve(int fd, const std::string &remote)
{
    timeval timeout { kReadTimeoutSeconds, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);

    HttpRequestParser parser(m_limits);
    char buffer[16 * 1024];
    while (parser.state() == HttpRequestParser::State::NeedMore && !m_stopping) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // closed early or timed out: nothing to answer
        parser.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        if (parser.takeContinueRequest())
            sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    }

    HttpRequest request;
    HttpResponse response;
    if (parser.state() == HttpRequestParser::State::Complete) {
        request = parser.request();
        request.remoteAddr = remote;
        try {
            response = m_handler(request);
        } catch (const std::exception &) {
            response = HttpResponse::text("erreur interne", 500);
        }
    } else if (parser.state() == HttpRequestParser::State::Error) {
        request.method = "-";
        request.target = "-";
        response = HttpResponse::text(HttpResponse::reason(parser.errorStatus()), parser.errorStatus());
    } else {
        ::close(fd);
        return;
    }
    sendAll(fd, response.serialize(request.method == "HEAD"));
    ::shutdown(fd, SHUT_WR);
    if (parser.state() == HttpRequestParser::State::Error) {
        // The client may still be sending the request we refused; closing
        // with its bytes unread would reset the connection and lose our
        // answer. Read on for a moment, up to a bound.
        timeval brief { 1, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &brief, sizeof brief);
        std::size_t drained = 0;
        ssize_t n;
        while (drained < 2 * 1024 * 1024 && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            drained += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (m_logger)
        m_logger(logLine(remote, request, response.status, response.body.size()));
}

std::string HttpServer::logLine(
    const std::string &remote, const HttpRequest &request, int status, std::size_t bytes)
{
    // The password digest is what authenticates a member: never log it.
    std::string target = request.target;
    const RawTarget parsed(target);
    if (parsed.value("psw")) {
        target = parsed.path() + "?";
        bool first = true;
        for (const auto &[key, value] : parsed.pairs()) {
            target += (first ? "" : "&") + key + "=" + (key == "psw" ? std::string("***") : value);
            first = false;
        }
    }
    return remote + " " + request.method + " " + Win1252::printable(target) + " " + std::to_string(status)
        + " " + std::to_string(bytes);
}

} // namespace devserver
