#include "RawProtocolLoop.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr int kHeaderSize = 510;
constexpr int kBlockHeaderSize = 12;
constexpr int kBlockData = 256;

void putInt(char *to, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        to[i] = char((u >> (8 * i)) & 0xFF);
}

std::int32_t getInt(const char *from)
{
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= std::uint32_t(static_cast<unsigned char>(from[i])) << (8 * i);
    return static_cast<std::int32_t>(u);
}

bool readFull(int fd, char *to, size_t n)
{
    while (n > 0) {
        const ssize_t r = ::recv(fd, to, n, MSG_WAITALL);
        if (r <= 0)
            return false;
        to += r;
        n -= size_t(r);
    }
    return true;
}

bool writeFull(int fd, const char *from, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, from, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        from += w;
        n -= size_t(w);
    }
    return true;
}

void noDelay(int fd)
{
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Receiving end: one connection, packets read whole, every one answered 0.
void receive(int listener, const std::string &destination, bool *ok)
{
    const int c = ::accept(listener, nullptr, nullptr);
    if (c < 0)
        return;
    noDelay(c);
    const int out = ::open(destination.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    char packet[516];
    char status[4];
    putInt(status, 0);
    std::int64_t size = -1, held = 0;
    while (out >= 0 && readFull(c, packet, 4)) {
        const std::int32_t kind = getInt(packet);
        if (kind == 1) {
            if (!readFull(c, packet + 4, kHeaderSize - 4))
                break;
            const int len = static_cast<unsigned char>(packet[260]);
            size = std::stoll(std::string(packet + 261, size_t(len)));
        } else if (kind == 2) {
            if (!readFull(c, packet + 4, 8))
                break;
            const std::int32_t offset = getInt(packet + 4);
            const std::int32_t count = getInt(packet + 8);
            if (count < 0 || count > 504 || !readFull(c, packet + 12, size_t(count)))
                break;
            if (::pwrite(out, packet + 12, size_t(count), offset) != count)
                break;
            held = std::max<std::int64_t>(held, std::int64_t(offset) + count);
        }
        if (!writeFull(c, status, 4))
            break;
    }
    *ok = size >= 0 && held == size;
    if (out >= 0)
        ::close(out);
    ::close(c);
}

} // namespace

RawProtocolResult runRawProtocolLoop(const std::string &source, const std::string &destination)
{
    RawProtocolResult result;
    const int in = ::open(source.c_str(), O_RDONLY);
    struct stat st
    {
    };
    if (in < 0 || ::fstat(in, &st) != 0) {
        result.error = "cannot open " + source;
        return result;
    }
    const std::int64_t size = st.st_size;

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        result.error = "cannot listen on loopback";
        return result;
    }
    bool received = false;
    std::thread receiver(receive, listener, destination, &received);

    const auto start = std::chrono::steady_clock::now();
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    bool sent = ::connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    noDelay(s);
    char packet[516] = {};
    char status[4];
    if (sent) {
        putInt(packet, 1);
        const char name[] = "bench.bin";
        packet[4] = char(sizeof name - 1);
        std::memcpy(packet + 5, name, sizeof name - 1);
        const std::string sizeText = std::to_string(size);
        packet[260] = char(sizeText.size());
        std::memcpy(packet + 261, sizeText.data(), sizeText.size());
        sent = writeFull(s, packet, kHeaderSize) && readFull(s, status, 4) && getInt(status) == 0;
    }
    std::int64_t offset = 0;
    while (sent && offset < size) {
        const ssize_t n = ::pread(in, packet + kBlockHeaderSize, kBlockData, offset);
        if (n <= 0) {
            sent = false;
            break;
        }
        putInt(packet, 2);
        putInt(packet + 4, std::int32_t(offset));
        putInt(packet + 8, std::int32_t(n));
        sent = writeFull(s, packet, size_t(kBlockHeaderSize + n)) && readFull(s, status, 4)
            && getInt(status) == 0;
        offset += n;
    }
    ::close(s);
    receiver.join();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(listener);
    ::close(in);
    result.bytes = offset;
    result.ok = sent && received;
    if (!result.ok)
        result.error = "raw protocol loop failed";
    return result;
}
