// voxlane-devserver-loadtest: normal log-ins against a running service
// while many slow or silent connections from one other address hold on.
// Several instances of the service (one --port each) share the load as
// behind a load balancer: requests go to each in turn, and one that
// refuses the connection (an instance gone) is passed over for the next.
// Optionally, writers register members and change contacts meanwhile, and
// check at the end that every change confirmed to them is still served.
// Loopback only, bounded in time and in count; run by scripts/loadtest.
#include "PasswordHash.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options
{
    std::vector<int> ports;
    int slow = 200;
    int seconds = 10;
    int clients = 4;
    int maxLogIns = 4000;
    int pauseMs = 20;
    std::string slowFrom = "127.0.0.66";
    std::string from = "127.0.0.2";
    int writers = 0;
    std::string writeFrom = "127.0.0.3";
};

bool isLoopback(const std::string &address)
{
    in_addr a {};
    return ::inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

int openFrom(const std::string &from, int port, bool nonBlocking)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    if (fd < 0)
        return -1;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The slow side: `count` connections, most of them sending their request
// head one byte a second, every fourth sending nothing at all. Whatever the
// service does to one (a reply, a close), it is replaced at once.
struct SlowStats
{
    long opened = 0;
    long answered503 = 0;
    long answered408 = 0;
    long closedSilently = 0;
    long resets = 0;
    long refused = 0;
};

void holdSlowConnections(const Options &o, Clock::time_point until, SlowStats &stats)
{
    const std::string head = "GET /voxlane/getconnected.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n";
    struct Slow
    {
        int fd = -1;
        bool silent = false;
        std::size_t sent = 0;
        Clock::time_point nextByte;
        std::string reply;
    };
    std::vector<Slow> slots(static_cast<std::size_t>(o.slow));
    // Spread over the instances; a slot whose instance refuses the
    // connection (it is gone) moves on to the next.
    std::vector<std::size_t> slotPort(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i)
        slotPort[i] = i;
    // However fast the service turns them away, the slow side opens at
    // most this many connections in all.
    const long maxOpenings = 100L * std::max(1, o.slow);
    auto reopen = [&](std::size_t i) {
        Slow &s = slots[i];
        s = Slow {};
        s.nextByte = Clock::now() + std::chrono::seconds(1);
        if (stats.opened >= maxOpenings)
            return;
        s.silent = i % 4 == 3;
        s.fd = openFrom(o.slowFrom, o.ports[slotPort[i] % o.ports.size()], true);
        if (s.fd >= 0)
            ++stats.opened;
    };
    for (std::size_t i = 0; i < slots.size(); ++i)
        reopen(i);

    std::vector<pollfd> fds(slots.size());
    char buffer[4096];
    while (Clock::now() < until) {
        for (std::size_t i = 0; i < slots.size(); ++i)
            fds[i] = { slots[i].fd, POLLIN, 0 };
        ::poll(fds.data(), fds.size(), 50);
        const auto now = Clock::now();
        for (std::size_t i = 0; i < slots.size(); ++i) {
            Slow &s = slots[i];
            if (s.fd < 0) {
                if (now >= s.nextByte)
                    reopen(i); // a failed or capped opening is retried a second later
                continue;
            }
            if (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) {
                const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, 0);
                if (n > 0) {
                    s.reply.append(buffer, static_cast<std::size_t>(n));
                    continue;
                }
                if (n < 0 && errno == EAGAIN)
                    continue;
                if (n < 0 && errno == ECONNREFUSED) {
                    ++stats.refused;
                    ++slotPort[i];
                } else if (n < 0)
                    ++stats.resets;
                else if (s.reply.rfind("HTTP/1.1 503", 0) == 0)
                    ++stats.answered503;
                else if (s.reply.rfind("HTTP/1.1 408", 0) == 0)
                    ++stats.answered408;
                else
                    ++stats.closedSilently;
                ::close(s.fd);
                reopen(i);
                continue;
            }
            if (!s.silent && now >= s.nextByte && s.sent < head.size()) {
                if (::send(s.fd, head.data() + s.sent, 1, MSG_NOSIGNAL) == 1)
                    ++s.sent;
                s.nextByte = now + std::chrono::seconds(1);
            }
        }
    }
    for (auto &s : slots) {
        if (s.fd >= 0)
            ::close(s.fd);
    }
}

// Sends `request` to one of the instances, beginning with the `turn`-th,
// and reads the reply until the service closes, as a load balancer would:
// an instance that refuses the connection is passed over, and so is one
// that drops it without a word when `idempotent` (nginx's default for GET,
// "proxy_next_upstream error"). Empty when no instance answered, or the
// reply did not come whole within 5 s.
std::string exchange(const Options &o, const std::string &from, std::size_t turn, const std::string &request,
    bool idempotent = true)
{
    for (std::size_t k = 0; k < o.ports.size(); ++k) {
        const int fd = openFrom(from, o.ports[(turn + k) % o.ports.size()], false);
        if (fd < 0)
            continue;
        timeval timeout { 5, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        std::string reply;
        bool timedOut = false;
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL)
            == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n;
            while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
                reply.append(buffer, static_cast<std::size_t>(n));
            if (n < 0) {
                timedOut = errno == EAGAIN || errno == EWOULDBLOCK;
                reply.clear();
            }
        }
        ::close(fd);
        if (!reply.empty() || timedOut || !idempotent)
            return reply;
    }
    return {};
}

std::string get(const std::string &target)
{
    return "GET " + target
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
          "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\nContent-Type: text/html\r\n\r\n";
}

// The body of a 200 reply; nothing for anything else.
std::optional<std::string> okBody(const std::string &reply)
{
    const auto body = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.1 200 ", 0) != 0 || body == std::string::npos)
        return std::nullopt;
    return reply.substr(body + 4);
}

std::string logInTarget(const std::string &pseudo, const std::string &password)
{
    return "/voxlane/connect.php?pseudo=" + pseudo + "&psw=" + devserver::PasswordHash::md5Hex(password)
        + "&ip=kfjdmcbaepgohlin";
}

bool accepted(const std::optional<std::string> &body)
{
    return body && body->rfind("autoris\xE9", 0) == 0;
}

// One normal log-in as the client makes it; its time in milliseconds, or
// a negative number when it failed.
double logIn(const Options &o, std::size_t turn, const std::string &request)
{
    const auto start = Clock::now();
    if (!accepted(okBody(exchange(o, o.from, turn, request))))
        return -1;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return ms <= 5000 ? ms : -1;
}

// The writers' side: each confirmed registration and contact change, and
// afterwards how many of them the instances still serve.
struct WriteStats
{
    std::mutex mutex;
    std::vector<std::string> registered; // each has also put bob into its contacts...
    std::vector<std::string> befriended;
    std::vector<std::string> requested; // ...and filed its request with bob
    long lost = 0;
};

void write(const Options &o, int writer, Clock::time_point stopAt, WriteStats &stats)
{
    // Names of their own in this run, also on a database kept from an
    // earlier one.
    const std::string prefix
        = "lt" + std::to_string(::time(nullptr) % 100000000) + "w" + std::to_string(writer) + "n";
    for (std::size_t i = 0; Clock::now() < stopAt; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(o.pauseMs));
        const std::string name = prefix + std::to_string(i);
        const std::string form = "pseudo=" + name + "&password=pw&confirm=pw&email=&web=";
        const std::string registration
            = "POST /voxlane/?file=inscriptions.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
            + std::to_string(form.size()) + "\r\n\r\n" + form;
        // A POST is never sent twice: a registration lost with its
        // instance is simply not confirmed.
        if (!okBody(exchange(o, o.writeFrom, i, registration, false)))
            continue;
        {
            std::lock_guard lock(stats.mutex);
            stats.registered.push_back(name);
        }
        // The acting member is the one logged in from where the request
        // comes: log in first (on any instance, the database tells them all).
        if (!accepted(okBody(exchange(o, o.writeFrom, i + 1, get(logInTarget(name, "pw"))))))
            continue;
        if (okBody(exchange(
                o, o.writeFrom, i, get("/script/qxd.php?pseudo=" + name + "&cmd=1&catego=1&add=bob")))
            == "ok") {
            std::lock_guard lock(stats.mutex);
            stats.befriended.push_back(name);
        }
        if (okBody(
                exchange(o, o.writeFrom, i + 1, get("/script/qxd.php?pseudo=bob&cmd=1&catego=3&add=" + name)))
            == "ok") {
            std::lock_guard lock(stats.mutex);
            stats.requested.push_back(name);
        }
    }
}

// Every confirmed change, read back through whichever instances still answer.
void checkWrites(const Options &o, WriteStats &stats)
{
    const auto section = [](const std::string &body, const std::string &head, const std::string &next) {
        const auto at = body.find(head);
        const auto end = body.find(next);
        return at == std::string::npos || end == std::string::npos
            ? std::string()
            : "\r\n" + body.substr(at + head.size(), end - at - head.size());
    };
    for (std::size_t i = 0; i < stats.registered.size(); ++i) {
        const std::string &name = stats.registered[i];
        const auto body = okBody(exchange(o, o.writeFrom, i, get(logInTarget(name, "pw"))));
        if (!accepted(body)) {
            ++stats.lost;
            std::cerr << "lost registration: " << name << "\n";
            continue;
        }
        const bool befriended
            = std::find(stats.befriended.begin(), stats.befriended.end(), name) != stats.befriended.end();
        if (befriended
            && section(*body, "[Contacts]\r\n", "[Bloqu\xE9s]").find("\r\nbob\r\n") == std::string::npos) {
            ++stats.lost;
            std::cerr << "lost contact: bob in " << name << "'s contacts\n";
        }
    }
    const auto bob = okBody(exchange(o, o.writeFrom, 0, get(logInTarget("bob", "bob"))));
    const std::string waiting = bob ? section(*bob, "[Ask]\r\n", "[Messages]") : std::string();
    for (const auto &name : stats.requested) {
        if (waiting.find("\r\n" + name + "\r\n") == std::string::npos) {
            ++stats.lost;
            std::cerr << "lost request: " << name << " with bob\n";
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const std::string v = argv[i + 1];
        if (a == "--port")
            o.ports.push_back(std::stoi(v));
        else if (a == "--writers")
            o.writers = std::stoi(v);
        else if (a == "--slow")
            o.slow = std::stoi(v);
        else if (a == "--seconds")
            o.seconds = std::stoi(v);
        else if (a == "--clients")
            o.clients = std::stoi(v);
        else if (a == "--slow-from")
            o.slowFrom = v;
        else if (a == "--from")
            o.from = v;
        else {
            std::cerr << "unknown argument " << a << "\n";
            return 2;
        }
    }
    // Bounds: this is a test against our own service on this machine.
    const bool portsValid = !o.ports.empty() && o.ports.size() <= 8
        && std::all_of(o.ports.begin(), o.ports.end(), [](int p) { return p > 0 && p <= 65535; });
    if (!portsValid || o.writers < 0 || o.writers > 4 || o.slow < 0 || o.slow > 2000 || o.seconds < 1
        || o.seconds > 120 || o.clients < 1 || o.clients > 16 || !isLoopback(o.slowFrom)
        || !isLoopback(o.from)) {
        std::cerr << "usage: voxlane-devserver-loadtest --port P [--port P2 ...] [--slow 0..2000] [--seconds "
                     "1..120] "
                     "[--clients 1..16] [--writers 0..4] [--slow-from 127.x.y.z] [--from 127.x.y.z]\n";
        return 2;
    }

    const auto until = Clock::now() + std::chrono::seconds(o.seconds) + std::chrono::seconds(3);
    SlowStats slowStats;
    std::thread slow([&] { holdSlowConnections(o, until, slowStats); });
    // Let the slow connections settle in before measuring.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    const std::string request = get(logInTarget("alice", "alice"));
    std::mutex resultsMutex;
    std::vector<double> times;
    long failed = 0;
    std::atomic<int> started { 0 };
    std::vector<std::thread> clients;
    const auto stopAt = Clock::now() + std::chrono::seconds(o.seconds);
    WriteStats writeStats;
    for (int w = 0; w < o.writers; ++w)
        clients.emplace_back([&, w] { write(o, w, stopAt, writeStats); });
    for (int c = 0; c < o.clients; ++c) {
        clients.emplace_back([&] {
            int turn;
            while (Clock::now() < stopAt && (turn = started++) < o.maxLogIns) {
                const double ms = logIn(o, static_cast<std::size_t>(turn), request);
                {
                    std::lock_guard lock(resultsMutex);
                    if (ms < 0)
                        ++failed;
                    else
                        times.push_back(ms);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(o.pauseMs));
            }
        });
    }
    for (auto &t : clients)
        t.join();
    slow.join();

    std::sort(times.begin(), times.end());
    const long total = static_cast<long>(times.size()) + failed;
    // The 99th percentile counts failures as the slowest.
    long p99 = 0;
    if (total > 0) {
        const auto rank = static_cast<std::size_t>((total * 99 + 99) / 100); // 1-based, rounded up
        p99 = rank <= times.size() ? static_cast<long>(times[rank - 1] + 0.5) : 5000;
    }
    std::cout << "slow side (" << o.slowFrom << "): " << slowStats.opened << " connections opened, "
              << slowStats.answered503 << " answered 503, " << slowStats.answered408 << " answered 408, "
              << slowStats.closedSilently << " closed without reply (silent ones), " << slowStats.resets
              << " reset";
    if (slowStats.refused > 0)
        std::cout << ", " << slowStats.refused << " refused (instance gone)";
    std::cout << "\n";
    if (o.writers > 0) {
        checkWrites(o, writeStats);
        std::cout << "writes: " << writeStats.registered.size() << " registrations and "
                  << writeStats.befriended.size() + writeStats.requested.size()
                  << " contact changes confirmed, " << writeStats.lost << " of them lost\n";
    }
    std::cout << "instances: " << o.ports.size() << "\n";
    std::cout << "loadtest: " << total << " normal log-ins during " << o.slow << " slow connections, "
              << failed << " failed, p99 " << p99 << " ms" << std::endl;
    return failed == 0 && writeStats.lost == 0 ? 0 : 1;
}
