// voxlane-devserver-loadtest: normal log-ins against a running service
// while many slow or silent connections from one other address hold on.
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
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options
{
    int port = 0;
    int slow = 200;
    int seconds = 10;
    int clients = 4;
    int maxLogIns = 4000;
    int pauseMs = 20;
    std::string slowFrom = "127.0.0.66";
    std::string from = "127.0.0.2";
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
        s.fd = openFrom(o.slowFrom, o.port, true);
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
                if (n < 0)
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

// One normal log-in as the client makes it; its time in milliseconds, or
// a negative number when it failed.
double logIn(const Options &o, const std::string &target)
{
    const auto start = Clock::now();
    const int fd = openFrom(o.from, o.port, false);
    if (fd < 0)
        return -1;
    timeval timeout { 5, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const std::string request = "GET " + target
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
          "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\nContent-Type: text/html\r\n\r\n";
    std::string reply;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<std::size_t>(n));
        if (n < 0)
            reply.clear();
    }
    ::close(fd);
    const auto body = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.1 200 ", 0) != 0 || body == std::string::npos
        || reply.compare(body + 4, 8, "autoris\xE9") != 0)
        return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const std::string v = argv[i + 1];
        if (a == "--port")
            o.port = std::stoi(v);
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
    if (o.port <= 0 || o.slow < 0 || o.slow > 2000 || o.seconds < 1 || o.seconds > 120 || o.clients < 1
        || o.clients > 16 || !isLoopback(o.slowFrom) || !isLoopback(o.from)) {
        std::cerr << "usage: voxlane-devserver-loadtest --port P [--slow 0..2000] [--seconds 1..120] "
                     "[--clients 1..16] [--slow-from 127.x.y.z] [--from 127.x.y.z]\n";
        return 2;
    }

    const auto until = Clock::now() + std::chrono::seconds(o.seconds) + std::chrono::seconds(3);
    SlowStats slowStats;
    std::thread slow([&] { holdSlowConnections(o, until, slowStats); });
    // Let the slow connections settle in before measuring.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    const std::string target = "/voxlane/connect.php?pseudo=alice&psw=" + devserver::PasswordHash::md5Hex("alice")
        + "&ip=kfjdmcbaepgohlin";
    std::mutex resultsMutex;
    std::vector<double> times;
    long failed = 0;
    std::atomic<int> started { 0 };
    std::vector<std::thread> clients;
    const auto stopAt = Clock::now() + std::chrono::seconds(o.seconds);
    for (int c = 0; c < o.clients; ++c) {
        clients.emplace_back([&] {
            while (Clock::now() < stopAt && started++ < o.maxLogIns) {
                const double ms = logIn(o, target);
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
              << " reset\n";
    std::cout << "loadtest: " << total << " normal log-ins during " << o.slow << " slow connections, " << failed
              << " failed, p99 " << p99 << " ms" << std::endl;
    return failed == 0 ? 0 : 1;
}
