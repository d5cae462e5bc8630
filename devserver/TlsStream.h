#pragma once

#include <string>
#include <string_view>

struct bio_st;
struct ssl_st;

namespace devserver {

class TlsContext;

// The server side of one connection's TLS, over memory buffers: the event
// loop moves the encrypted bytes between the socket and this object with its
// own non-blocking recv and send, so nothing here ever waits on the network
// (a slow handshake holds a socket, never the loop), and a write to a peer
// that has gone cannot raise SIGPIPE.
class TlsStream
{
public:
    enum class Result {
        Ok, // more may come
        Closed, // the peer ended the stream in order (close_notify)
        Failed, // the handshake or a record failed: see error()
    };

    explicit TlsStream(const TlsContext &context);
    ~TlsStream();
    TlsStream(const TlsStream &) = delete;
    TlsStream &operator=(const TlsStream &) = delete;

    // Takes bytes received from the peer. Drives the handshake, then appends
    // to `plain` the application bytes the records carry, as many as are
    // complete. Whatever must go back (the handshake's flights, an alert)
    // waits in takeOutput().
    Result receive(std::string_view wire, std::string &plain);
    // Encrypts bytes for the peer (only once the handshake is done).
    void send(std::string_view plain);
    // Ends the stream in order (close_notify).
    void close();
    // Appends the encrypted bytes waiting for the peer to `wire`.
    void takeOutput(std::string &wire);

    bool handshakeDone() const { return m_handshakeDone; }
    // Why the stream failed, in OpenSSL's words ("tlsv1 alert unknown ca").
    const std::string &error() const { return m_error; }

private:
    Result fail(int sslError);

    ssl_st *m_ssl = nullptr;
    bio_st *m_in = nullptr; // owned by m_ssl
    bio_st *m_out = nullptr; // owned by m_ssl
    // Kept here: OpenSSL's own state says "not finished" again once a
    // record has failed.
    bool m_handshakeDone = false;
    std::string m_error;
};

} // namespace devserver
