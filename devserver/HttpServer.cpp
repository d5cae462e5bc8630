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
    enum class Phase {
        Reading, // the request, to be answered by the handler
        Refusing, // the request, to be answered 503 whatever it is
        Handling, // a worker is answering
        Writing,
        Lingering, // reply sent, reading what the client still sends
    };

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
    Phase phase = Phase::Reading;
    bool counted = false; // against the served and per-address limits
    bool fromProxy = false; // a trusted load balancer
    bool receivedAny = false; // a request byte (over TLS: once decrypted)
    std::int64_t openedAt = 0;
    std::int64_t phaseStart = 0;
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
    , m_limits(limits)
    , m_tuning(std::move(tuning))
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
    if (m_tuning.clock)
        return m_tuning.clock();
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
    {
        std::lock_guard lock(m_jobsMutex);
        m_workersStop = false;
    }
    for (int i = 0; i < std::max(1, m_tuning.workers); ++i)
        m_workers.emplace_back([this] { workerLoop(); });

    std::vector<pollfd> fds;
    std::vector<Connection *> polled;
    while (!m_stopping) {
        fds.clear();
        polled.clear();
        fds.push_back({ m_listenFd, POLLIN, 0 });
        fds.push_back({ m_wakeFd, POLLIN, 0 });
        for (auto &[id, c] : m_connections) {
            short events = 0;
            if (c->phase == Connection::Phase::Reading || c->phase == Connection::Phase::Refusing
                || c->phase == Connection::Phase::Lingering)
                events |= POLLIN;
            if (c->outAt < c->out.size())
                events |= POLLOUT;
            if (events == 0)
                continue;
            fds.push_back({ c->fd, events, 0 });
            polled.push_back(c.get());
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
            // below is not looked at again: its pollfd is skipped by id).
            takeFinished();
            std::vector<std::uint64_t> ids;
            for (std::size_t i = 2; i < fds.size(); ++i)
                ids.push_back(fds[i].revents ? polled[i - 2]->id : 0);
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!ids[i - 2])
                    continue;
                const auto it = m_connections.find(ids[i - 2]);
                if (it == m_connections.end())
                    continue;
                Connection &c = *it->second;
                if (fds[i].revents & POLLOUT)
                    onWritable(c);
                if (m_connections.count(ids[i - 2]) && (fds[i].revents & (POLLIN | POLLERR | POLLHUP)))
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

    {
        std::lock_guard lock(m_jobsMutex);
        m_workersStop = true;
        m_jobs.clear();
    }
    m_jobsReady.notify_all();
    for (auto &w : m_workers)
        w.join();
    m_workers.clear();
    m_done.clear();
    while (!m_connections.empty())
        close(*m_connections.begin()->second);
}

void HttpServer::acceptAll()
{
    for (;;) {
        sockaddr_in peer {};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(
            m_listenFd, reinterpret_cast<sockaddr *>(&peer), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return; // none waiting, or out of descriptors: try again next round
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        const std::string remote = text;

        const auto held = m_perAddress.find(remote);
        const bool fromProxy
            = std::find(m_tuning.trustedProxies.begin(), m_tuning.trustedProxies.end(), remote)
            != m_tuning.trustedProxies.end();
        const bool room = m_served < m_tuning.maxConnections
            && (fromProxy || held == m_perAddress.end() || held->second < m_tuning.maxPerAddress);
        if (!room && m_refusing >= m_tuning.maxRefusing) {
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>(m_nextId++, fd, remote, m_limits);
        if (m_tls)
            c->tls = std::make_unique<TlsStream>(*m_tls);
        c->fromProxy = fromProxy;
        c->openedAt = c->phaseStart = now();
        if (room) {
            c->counted = true;
            ++m_served;
            ++m_perAddress[remote];
        } else {
            c->phase = Connection::Phase::Refusing;
            ++m_refusing;
        }
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
    if (c.tls && c.phase != Connection::Phase::Lingering) {
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
    c.receivedAny = true;

    switch (c.phase) {
    case Connection::Phase::Reading: {
        c.parser.feed(bytes);
        if (c.parser.takeContinueRequest())
            queue(c, "HTTP/1.1 100 Continue\r\n\r\n");
        if (c.parser.headDone() && c.reservedBody == 0 && c.parser.contentLength() > 0) {
            if (m_bufferedBodies + c.parser.contentLength() > m_tuning.maxBufferedBodies) {
                answer(c, HttpResponse::text(kFullBody, 503), {});
                return;
            }
            c.reservedBody = c.parser.contentLength();
            m_bufferedBodies += c.reservedBody;
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
            c.phase = Connection::Phase::Handling;
            c.phaseStart = now();
            {
                std::lock_guard lock(m_jobsMutex);
                m_jobs.push_back({ c.id, std::move(request) });
            }
            m_jobsReady.notify_one();
        } else if (c.parser.state() == HttpRequestParser::State::Error) {
            const int status = c.parser.errorStatus();
            answer(c, HttpResponse::text(HttpResponse::reason(status), status), {});
        }
        break;
    }
    case Connection::Phase::Refusing:
        // Read up to the end of the head so that the reply is not lost to a
        // reset; the request itself does not matter.
        c.refusedHead += bytes;
        if (c.refusedHead.find("\r\n\r\n") != std::string::npos || c.refusedHead.find("\n\n") != std::string::npos)
            answer(c, HttpResponse::text(kFullBody, 503), {});
        else if (c.refusedHead.size() > 3)
            c.refusedHead.erase(0, c.refusedHead.size() - 3);
        break;
    case Connection::Phase::Lingering:
        c.drained += bytes.size();
        if (c.drained > kMaxDrained)
            close(c);
        break;
    case Connection::Phase::Handling:
    case Connection::Phase::Writing:
        break; // not polled for reading
    }
    // The peer ended its stream with the request incomplete: as a plain
    // connection's end of file, nobody is left to answer.
    if (peerClosed) {
        const auto it = m_connections.find(id);
        if (it != m_connections.end()
            && (it->second->phase == Connection::Phase::Reading || it->second->phase == Connection::Phase::Refusing))
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
    if (c.phase == Connection::Phase::Writing)
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
    if (c.reservedBody) {
        m_bufferedBodies -= c.reservedBody;
        c.reservedBody = 0;
    }
    queue(c, response.serialize(request.method == "HEAD"));
    if (c.tls)
        endTls(c);
    c.phase = Connection::Phase::Writing;
    c.phaseStart = now();
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
    c.phase = Connection::Phase::Lingering;
    c.phaseStart = now();
}

void HttpServer::checkDeadline(Connection &c, std::int64_t t)
{
    const std::int64_t age = t - c.openedAt;
    const std::int64_t inPhase = t - c.phaseStart;
    switch (c.phase) {
    case Connection::Phase::Reading:
        if (!c.receivedAny && age >= m_tuning.idleMs)
            close(c); // nothing to answer
        else if ((!c.parser.headDone() && age >= m_tuning.headMs) || age >= m_tuning.requestMs)
            answer(c, HttpResponse::text(HttpResponse::reason(408), 408), {});
        break;
    case Connection::Phase::Refusing:
        if (inPhase >= m_tuning.refuseReadMs)
            answer(c, HttpResponse::text(kFullBody, 503), {});
        break;
    case Connection::Phase::Writing:
        if (inPhase >= m_tuning.writeMs)
            close(c);
        break;
    case Connection::Phase::Lingering:
        if (inPhase >= m_tuning.lingerMs)
            close(c);
        break;
    case Connection::Phase::Handling:
        break; // the worker's answer comes; the handler has no time limit of its own
    }
}

void HttpServer::close(Connection &c)
{
    if (c.reservedBody)
        m_bufferedBodies -= c.reservedBody;
    if (c.counted) {
        --m_served;
        if (--m_perAddress[c.remote] <= 0)
            m_perAddress.erase(c.remote);
    } else {
        --m_refusing;
    }
    // A worker still answering finds the connection gone and drops its reply.
    ::close(c.fd);
    --m_open;
    m_connections.erase(c.id);
}

void HttpServer::takeFinished()
{
    std::deque<Done> done;
    {
        std::lock_guard lock(m_jobsMutex);
        done.swap(m_done);
    }
    for (auto &d : done) {
        const auto it = m_connections.find(d.id);
        if (it == m_connections.end())
            continue;
        Connection &c = *it->second;
        if (c.reservedBody) {
            m_bufferedBodies -= c.reservedBody;
            c.reservedBody = 0;
        }
        queue(c, d.bytes);
        if (c.tls)
            endTls(c);
        c.phase = Connection::Phase::Writing;
        c.phaseStart = now();
        onWritable(c);
    }
}

void HttpServer::workerLoop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_jobsMutex);
            m_jobsReady.wait(lock, [this] { return m_workersStop || !m_jobs.empty(); });
            if (m_workersStop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        HttpResponse response;
        try {
            response = m_handler(job.request);
        } catch (const std::exception &) {
            response = HttpResponse::text("erreur interne", 500);
        }
        if (m_logger)
            m_logger(logLine(job.request.remoteAddr, job.request, response.status, response.body.size()));
        std::string bytes = response.serialize(job.request.method == "HEAD");
        {
            std::lock_guard lock(m_jobsMutex);
            m_done.push_back({ job.id, std::move(bytes) });
        }
        wake();
    }
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
