#pragma once

#include <cstdint>
#include <string>

// Plain TCP over loopback, no protocol of ours, as the yardsticks of the
// transfer benchmarks: what a TCP stream gets through the same relay, and
// what a copy of the same file to disk over TCP takes on this machine.
// Blocking sockets, a thread per end, 1 MiB at a time.
struct PlainTcpResult
{
    bool ok = false;
    double seconds = 0;
    std::int64_t bytes = 0;
    std::string error;
};

class PlainTcpSink
{
public:
    // Listens on a free port of 127.0.0.1.
    PlainTcpSink();
    ~PlainTcpSink();
    PlainTcpSink(const PlainTcpSink &) = delete;
    PlainTcpSink &operator=(const PlainTcpSink &) = delete;

    std::uint16_t port() const { return m_port; }
    // Connects to connectPort (this sink's port, or a relay's in front of
    // it) and sends `bytes` bytes: the file `source`, or a pattern when it
    // is empty. The sink writes what it receives to `destination`, or drops
    // it when that is empty. Timed from the connection to the last byte
    // received (and written).
    PlainTcpResult run(std::uint16_t connectPort, std::int64_t bytes, const std::string &source,
        const std::string &destination);

private:
    int m_listener = -1;
    std::uint16_t m_port = 0;
};
