#include "HttpServer.h"

#include "RawTarget.h"
#include "TlsContext.h"
#include "TlsStream.h"
#include "Win1252.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace devserver {

namespace {

// A refused or timed-out client may go on sending; what it sends after the
// reply is read and dropped up to this much before the socket is closed.
constexpr std::size_t kMaxDrained = 2 * 1024 * 1024;
// The loop looks at the clock at least this often.
constexpr int kTickMs = 100;

const char *const kFullBody = "trop de connexions";

} // namespace

struct HttpServer::Connection
{
    Connection(std::uint64_t id, int fd, std::string remote, HttpRequestParser::Limits limits)
        : id(id)
        , fd(fd)
        , remote(std::move(remote))
        , parser(limits)
    {
    }

    std::uint64_t id;
    int fd;
    std::string remote;
    HttpRequestParser parser;
    std::unique_ptr<TlsStream> tls; // HTTPS only
    ConnectionLimits::Admission admitted = ConnectionLimits::Admission::Serve;
    ConnectionLimits::Progress progress;
    bool fromProxy = false; // a trusted load balancer
    std::size_t reservedBody = 0;
    std::string refusedHead; // the last bytes of a refused request, to see its head end
    std::string out; // bytes for the socket (over TLS: encrypted)
    std::size_t outAt = 0;
    std::size_t drained = 0;
};

HttpServer::HttpServer(Handler handler, Logger logger, HttpRequestParser::Limits limits)
    : HttpServer(std::move(handler), std::move(logger), limits, Tuning {})
{
}

HttpServer::HttpServer(Handler handler, Logger logger, HttpRequestParser::Limits limits, Tuning tuning)
    : m_handler(std::move(handler))
    , m_logger(std::move(logger))
    , m_requestLimits(limits)
    , m_clock(std::move(tuning.clock))
    , m_workerCount(tuning.workers)
    , m_limits(std::move(static_cast<ConnectionLimits::Settings &>(tuning)))
    , m_workers([this](const HttpRequest &request) { return respond(request); }, [this] { wake(); })
{
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

HttpServer::~HttpServer()
{
    stop();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

std::int64_t HttpServer::now() const
{
    if (m_clock)
        return m_clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listenFd < 0)
        return failed("socket");
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        return failed("bind " + address + ":" + std::to_string(port));
    // Connections wait here, not reset, while the loop catches up.
    if (::listen(m_listenFd, 1024) != 0)
        return failed("listen");
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    return true;
}

bool HttpServer::useTls(const std::string &certificateFile, const std::string &keyFile, std::string *error)
{
    std::string why;
    m_tls = TlsContext::load(certificateFile, keyFile, why);
    if (!m_tls && error)
        *error = why;
    return m_tls != nullptr;
}

void HttpServer::start()
{
    m_loopThread = std::thread([this] { run(); });
}

void HttpServer::stop()
{
    m_stopping = true;
    if (m_loopThread.joinable())
        m_loopThread.join();
}

void HttpServer::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_wakeFd, &one, sizeof one);
}

void HttpServer::run()
{
    m_workers.start(m_workerCount);

    std::vector<pollfd> fds;
    // By id, not by pointer: a connection may be closed, and freed, before
    // its pollfd is looked at.
    std::vector<std::uint64_t> polled;
    while (!m_stopping) {
        fds.clear();
        polled.clear();
        fds.push_back({ m_listenFd, POLLIN, 0 });
        fds.push_back({ m_wakeFd, POLLIN, 0 });
        for (auto &[id, c] : m_connections) {
            short events = 0;
            const Phase phase = c->progress.phase;
            if (phase == Phase::Reading || phase == Phase::Refusing || phase == Phase::Lingering)
                events |= POLLIN;
            if (c->outAt < c->out.size())
                events |= POLLOUT;
            if (events == 0)
                continue;
            fds.push_back({ c->fd, events, 0 });
            polled.push_back(id);
        }
        const int ready = ::poll(fds.data(), fds.size(), kTickMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            if (fds[1].revents & POLLIN) {
                std::uint64_t count;
                [[maybe_unused]] const auto n = ::read(m_wakeFd, &count, sizeof count);
            }
            // Handler results first, then the sockets (a connection closed
            // meanwhile is not looked at again: its id is found no more).
            takeFinished();
            for (std::size_t i = 2; i < fds.size(); ++i) {
                const std::uint64_t id = polled[i - 2];
                const auto it = fds[i].revents ? m_connections.find(id) : m_connections.end();
                if (it == m_connections.end())
                    continue;
                Connection &c = *it->second;
                if (fds[i].revents & POLLOUT)
                    onWritable(c);
                if (m_connections.count(id) && (fds[i].revents & (POLLIN | POLLERR | POLLHUP)))
                    onReadable(c);
            }
            if (fds[0].revents & POLLIN)
                acceptAll();
        } else {
            takeFinished();
        }
        const std::int64_t t = now();
        std::vector<std::uint64_t> ids;
        for (auto &[id, c] : m_connections)
            ids.push_back(id);
        for (const auto id : ids) {
            const auto it = m_connections.find(id);
            if (it != m_connections.end())
                checkDeadline(*it->second, t);
        }
    }

    m_workers.stop();
    while (!m_connections.empty())
        close(*m_connections.begin()->second);
}

void HttpServer::acceptAll()
{
    for (;;) {
        sockaddr_in peer {};
        socklen_t len = sizeof peer;
        const int fd
            = ::accept4(m_listenFd, reinterpret_cast<sockaddr *>(&peer), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return; // none waiting, or out of descriptors: try again next round
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        const std::string remote = text;

        const auto admission = m_limits.admit(remote);
        if (admission == ConnectionLimits::Admission::Drop) {
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>(m_nextId++, fd, remote, m_requestLimits);
        if (m_tls)
            c->tls = std::make_unique<TlsStream>(*m_tls);
        c->fromProxy = m_limits.isTrustedProxy(remote);
        c->admitted = admission;
        c->progress = ConnectionLimits::Progress::opened(
            admission == ConnectionLimits::Admission::Serve ? Phase::Reading : Phase::Refusing, now());
        ++m_open;
        m_connections.emplace(c->id, std::move(c));
    }
}

void HttpServer::onReadable(Connection &c)
{
    const std::uint64_t id = c.id;
    char buffer[16 * 1024];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        // Closed by the client (or broken): nobody left to answer.
        close(c);
        return;
    }
    std::string_view bytes(buffer, static_cast<std::size_t>(n));
    std::string plain;
    bool peerClosed = false;
    if (c.tls && c.progress.phase != Phase::Lingering) {
        // Handshake flights and alerts go out with the loop's next round;
        // only the request bytes the records carry go on below.
        const TlsStream::Result result = c.tls->receive(bytes, plain);
        c.tls->takeOutput(c.out);
        if (result == TlsStream::Result::Failed) {
            if (m_logger)
                m_logger(c.remote + (c.tls->handshakeDone() ? " TLS failed: " : " TLS handshake failed: ")
                    + c.tls->error());
            // The alert, if the socket takes it now; nothing is waited for.
            if (c.outAt < c.out.size())
                ::send(c.fd, c.out.data() + c.outAt, c.out.size() - c.outAt, MSG_NOSIGNAL | MSG_DONTWAIT);
            close(c);
            return;
        }
        peerClosed = result == TlsStream::Result::Closed;
        if (plain.empty()) {
            if (peerClosed)
                close(c);
            return;
        }
        bytes = plain;
    }
    c.progress.receivedAny = true;

    switch (c.progress.phase) {
    case Phase::Reading: {
        c.parser.feed(bytes);
        if (c.parser.takeContinueRequest())
            queue(c, "HTTP/1.1 100 Continue\r\n\r\n");
        if (c.parser.headDone() && c.reservedBody == 0 && c.parser.contentLength() > 0) {
            if (!m_limits.reserveBody(c.parser.contentLength())) {
                answer(c, HttpResponse::text(kFullBody, 503), {});
                return;
            }
            c.reservedBody = c.parser.contentLength();
        }
        if (c.parser.state() == HttpRequestParser::State::Complete) {
            HttpRequest request = c.parser.request();
            request.remoteAddr = c.remote;
            if (c.fromProxy) {
                // Presence and the right to change contact tables go by the
                // member's address, never the balancer's.
                const auto client = forwardedClient(request);
                if (!client) {
                    answer(c, HttpResponse::text("X-Forwarded-For attendu", 400), request);
                    return;
                }
                request.remoteAddr = *client;
            }
            c.progress.enter(Phase::Handling, now());
            m_workers.submit(c.id, std::move(request));
        } else if (c.parser.state() == HttpRequestParser::State::Error) {
            const int status = c.parser.errorStatus();
            answer(c, HttpResponse::text(HttpResponse::reason(status), status), {});
        }
        break;
    }
    case Phase::Refusing:
        // Read up to the end of the head so that the reply is not lost to a
        // reset; the request itself does not matter.
        c.refusedHead += bytes;
        if (c.refusedHead.find("\r\n\r\n") != std::string::npos
            || c.refusedHead.find("\n\n") != std::string::npos)
            answer(c, HttpResponse::text(kFullBody, 503), {});
        else if (c.refusedHead.size() > 3)
            c.refusedHead.erase(0, c.refusedHead.size() - 3);
        break;
    case Phase::Lingering:
        c.drained += bytes.size();
        if (c.drained > kMaxDrained)
            close(c);
        break;
    case Phase::Handling:
    case Phase::Writing:
        break; // not polled for reading
    }
    // The peer ended its stream with the request incomplete: as a plain
    // connection's end of file, nobody is left to answer.
    if (peerClosed) {
        const auto it = m_connections.find(id);
        if (it != m_connections.end()
            && (it->second->progress.phase == Phase::Reading
                || it->second->progress.phase == Phase::Refusing))
            close(*it->second);
    }
}

void HttpServer::onWritable(Connection &c)
{
    while (c.outAt < c.out.size()) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.outAt, c.out.size() - c.outAt, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            close(c);
            return;
        }
        c.outAt += static_cast<std::size_t>(n);
    }
    if (c.progress.phase == Phase::Writing)
        beginLinger(c);
}

void HttpServer::queue(Connection &c, std::string_view bytes)
{
    if (!c.tls) {
        c.out += bytes;
        return;
    }
    c.tls->send(bytes);
    c.tls->takeOutput(c.out);
}

void HttpServer::answer(Connection &c, const HttpResponse &response, const HttpRequest &request)
{
    if (c.tls && !c.tls->handshakeDone()) {
        // No reply can reach a client that has not finished its handshake.
        close(c);
        return;
    }
    sendReply(c, response.serialize(request.method == "HEAD"));
    if (m_logger) {
        HttpRequest shown = request;
        if (shown.method.empty()) {
            shown.method = "-";
            shown.target = "-";
        }
        m_logger(logLine(c.remote, shown, response.status, response.body.size()));
    }
    onWritable(c);
}

void HttpServer::sendReply(Connection &c, std::string_view bytes)
{
    // The request is over: its body's room goes back to the others.
    m_limits.releaseBody(c.reservedBody);
    c.reservedBody = 0;
    queue(c, bytes);
    if (c.tls)
        endTls(c);
    c.progress.enter(Phase::Writing, now());
}

void HttpServer::endTls(Connection &c)
{
    // The reply is whole: close_notify goes right after it, so the client
    // knows nothing was cut off before the socket's own end.
    c.tls->close();
    c.tls->takeOutput(c.out);
}

void HttpServer::beginLinger(Connection &c)
{
    ::shutdown(c.fd, SHUT_WR);
    c.progress.enter(Phase::Lingering, now());
}

void HttpServer::checkDeadline(Connection &c, std::int64_t t)
{
    switch (m_limits.due(c.progress, c.parser.headDone(), t)) {
    case ConnectionLimits::Verdict::Wait:
        break;
    case ConnectionLimits::Verdict::Close:
        close(c);
        break;
    case ConnectionLimits::Verdict::RequestTimeout:
        answer(c, HttpResponse::text(HttpResponse::reason(408), 408), {});
        break;
    case ConnectionLimits::Verdict::Refuse:
        answer(c, HttpResponse::text(kFullBody, 503), {});
        break;
    }
}

void HttpServer::close(Connection &c)
{
    m_limits.releaseBody(c.reservedBody);
    m_limits.release(c.remote, c.admitted);
    ::close(c.fd);
    --m_open;
    m_connections.erase(c.id);
}

void HttpServer::takeFinished()
{
    for (auto &finished : m_workers.takeFinished()) {
        // A connection closed while its request was answered drops the reply.
        const auto it = m_connections.find(finished.id);
        if (it == m_connections.end())
            continue;
        Connection &c = *it->second;
        sendReply(c, finished.bytes);
        onWritable(c);
    }
}

std::string HttpServer::respond(const HttpRequest &request)
{
    HttpResponse response;
    try {
        response = m_handler(request);
    } catch (const std::exception &) {
        response = HttpResponse::text("erreur interne", 500);
    }
    if (m_logger)
        m_logger(logLine(request.remoteAddr, request, response.status, response.body.size()));
    return response.serialize(request.method == "HEAD");
}

std::optional<std::string> HttpServer::forwardedClient(const HttpRequest &request)
{
    // The last header of that name, and its last entry: the one the
    // balancer added itself (what comes before is the client's own say).
    std::optional<std::string> list;
    for (const auto &[name, value] : request.headers) {
        if (name.size() == 15 && ::strncasecmp(name.c_str(), "X-Forwarded-For", 15) == 0)
            list = value;
    }
    if (!list)
        return std::nullopt;
    const auto comma = list->rfind(',');
    std::string last = comma == std::string::npos ? *list : list->substr(comma + 1);
    const auto first = last.find_first_not_of(" \t");
    const auto end = last.find_last_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    last = last.substr(first, end - first + 1);
    in_addr address {};
    if (::inet_pton(AF_INET, last.c_str(), &address) != 1)
        return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return std::string(text);
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
