#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct bio_st;
struct ssl_ctx_st;
struct ssl_st;

// The client side of TLS over a socket the test holds, driven a step at a
// time, so that a test can stop anywhere: before the handshake, half way
// through a request head, or with one byte of a record flipped on the way.
// Calls block, each read guarded by a 10 s socket timeout (only against a
// hung test). The records go through memory buffers and the socket is
// written with MSG_NOSIGNAL: a server that has gone cannot kill the test
// with SIGPIPE.
class TlsClient
{
public:
    // Connects from the local address `from`; the service's certificate
    // must be issued by the authority in caFile for serverName (a dotted
    // address is checked as an IP address, anything else as a host name).
    TlsClient(std::uint16_t port, const std::string &from, const std::string &caFile,
        const std::string &serverName = "127.0.0.1");
    ~TlsClient();
    TlsClient(const TlsClient &) = delete;
    TlsClient &operator=(const TlsClient &) = delete;

    bool connected() const { return m_fd >= 0; }
    // The whole handshake, the certificate checked; false with error().
    bool handshake();
    // Bytes straight onto the socket, outside TLS.
    bool sendRaw(std::string_view bytes);
    // Encrypted; with `tamper`, one byte of the last record is flipped first.
    bool send(std::string_view bytes, bool tamper = false);
    // Decrypted bytes until the server ends the stream; `orderly` tells
    // whether it ended it with close_notify (nothing was cut off).
    std::string readToEnd(bool *orderly = nullptr);
    // Whatever comes on the socket until the server closes it.
    std::string readRawToEnd();

    const std::string &error() const { return m_error; }

private:
    bool flush();
    // One read from the socket into the TLS input; false at its end.
    bool pull();

    int m_fd = -1;
    ssl_ctx_st *m_ctx = nullptr;
    ssl_st *m_ssl = nullptr;
    bio_st *m_in = nullptr;
    bio_st *m_out = nullptr;
    std::string m_error;
};
