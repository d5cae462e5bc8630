#pragma once

#include <cstdint>
#include <string>

// The data channel's protocol with nothing around it: a 510-byte header,
// then 256-byte blocks, each waiting for its 4-byte status, over blocking
// loopback sockets, a receiving thread writing the file. No Qt. This is what
// the protocol itself allows on this machine.
struct RawProtocolResult
{
    bool ok = false;
    double seconds = 0;
    std::int64_t bytes = 0;
    std::string error;
};

RawProtocolResult runRawProtocolLoop(const std::string &source, const std::string &destination);
