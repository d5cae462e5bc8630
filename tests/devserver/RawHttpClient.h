#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Talks HTTP to the service over a plain socket, so that request targets go
// on the wire byte for byte (raw blanks, 0xE9) as the client sends them.
// The client side can be bound to any loopback address, standing for
// another machine. overTls() gives the same client over HTTPS: the very
// same bytes inside TLS.
struct RawReply
{
    int status = 0;
    std::string head;
    std::string body;
    bool ok() const { return status == 200; }
    std::string header(std::string_view name) const;
};

class RawHttpClient
{
public:
    explicit RawHttpClient(std::uint16_t port, std::string from = "127.0.0.1");

    // This client over TLS, trusting the authority in caFile; a handshake
    // that fails throws, with the reason.
    RawHttpClient overTls(std::string caFile) const;

    RawReply get(std::string_view target) const;
    // Sends exactly these bytes and reads the reply until the server closes.
    RawReply exchange(std::string_view bytes) const;
    // The avatar upload as the client frames it: HTTP/1.0, a "dossier" field,
    // then the file part with the local path as file name.
    RawReply uploadAvatar(std::string_view pseudo, std::string_view jpeg) const;

    const std::string &from() const { return m_from; }

private:
    std::uint16_t m_port;
    std::string m_from;
    std::string m_caFile; // TLS when set
};
