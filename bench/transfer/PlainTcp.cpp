#include "PlainTcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kChunk = 1 << 20;

bool writeFull(int fd, const char *from, std::size_t n, bool socket)
{
    while (n > 0) {
        const ssize_t w = socket ? ::send(fd, from, n, MSG_NOSIGNAL) : ::write(fd, from, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        from += w;
        n -= std::size_t(w);
    }
    return true;
}

// Receiving end: one connection, everything read and written (or dropped).
void receive(int listener, std::int64_t bytes, const std::string &destination, bool *ok)
{
    const int c = ::accept(listener, nullptr, nullptr);
    if (c < 0)
        return;
    const int out
        = destination.empty() ? -1 : ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char> buffer(kChunk);
    std::int64_t got = 0;
    while (got < bytes) {
        const ssize_t r = ::recv(c, buffer.data(), buffer.size(), 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        if (!destination.empty() && (out < 0 || !writeFull(out, buffer.data(), std::size_t(r), false)))
            break;
        got += r;
    }
    *ok = got == bytes;
    if (out >= 0)
        ::close(out);
    ::close(c);
}

} // namespace

PlainTcpSink::PlainTcpSink()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_listener >= 0 && ::bind(m_listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && ::listen(m_listener, 1) == 0
        && ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        m_port = ntohs(addr.sin_port);
}

PlainTcpSink::~PlainTcpSink()
{
    if (m_listener >= 0)
        ::close(m_listener);
}

PlainTcpResult PlainTcpSink::run(
    std::uint16_t connectPort, std::int64_t bytes, const std::string &source, const std::string &destination)
{
    PlainTcpResult result;
    if (m_port == 0) {
        result.error = "cannot listen on loopback";
        return result;
    }
    const int in = source.empty() ? -1 : ::open(source.c_str(), O_RDONLY);
    if (!source.empty() && in < 0) {
        result.error = "cannot open " + source;
        return result;
    }
    bool received = false;
    std::thread receiver(receive, m_listener, bytes, destination, &received);

    const auto start = std::chrono::steady_clock::now();
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(connectPort);
    bool sent = ::connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    std::vector<char> buffer(kChunk);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = char(i * 131 + (i >> 12));
    std::int64_t offset = 0;
    while (sent && offset < bytes) {
        const std::size_t n = std::size_t(std::min<std::int64_t>(kChunk, bytes - offset));
        if (in >= 0 && ::pread(in, buffer.data(), n, offset) != ssize_t(n)) {
            sent = false;
            break;
        }
        sent = writeFull(s, buffer.data(), n, true);
        offset += std::int64_t(n);
    }
    // Closed only once everything arrived: a relay drops what it still
    // holds when its sender leaves.
    if (!sent)
        ::shutdown(s, SHUT_RDWR);
    receiver.join();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(s);
    if (in >= 0)
        ::close(in);
    result.bytes = offset;
    result.ok = sent && received;
    if (!result.ok)
        result.error = "plain TCP run failed";
    return result;
}
