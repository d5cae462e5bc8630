#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <memory>

class PeerIdentity;
struct ssl_st;
struct ssl_ctx_st;
struct bio_st;

// The plain bytes a tunnel took out of the connection, read as the packets
// of the connection itself were (DataSender/DataReceiver take a QIODevice).
class TunnelInput : public QIODevice
{
public:
    TunnelInput();
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_end - m_at + QIODevice::bytesAvailable(); }
    void append(const char *data, qint64 size);
    // Room at the end for up to size bytes, filled by the caller, who says
    // how much it wrote with grew().
    char *reserve(qint64 size);
    void grew(qint64 size);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_at = 0; // read up to here
    qint64 m_end = 0; // written up to here (m_data may be larger)
};

// TLS 1.3 over a data connection that is already up: the two Voxlane
// clients switch to it after the header and the fast-mode answer, and
// every later byte travels inside it.
//
// OpenSSL directly, over memory buffers, rather than QSslSocket: the
// transfer keeps its own socket and everything it does with it (writes
// straight to the system, the bounded read buffers that hold a fast sender
// back, the exact byte at which the connection switches), the tunnel is
// only bytes in and bytes out, so it runs the same without any socket in
// the tests, and the session gives its keying material (RFC 8446 exporter)
// for the code two members can compare.
//
// Both sides present their member's self-signed certificate and take the
// other's whatever it is: who it belongs to is decided by the owner against
// the keys it remembers (PeerKeys). A record that fails its check (a byte
// changed on the path), an alert or anything that is not TLS ends the
// tunnel for good (failed()); the owner then ends the connection.
class DataTunnel
{
public:
    enum class Role { Client, Server };

    DataTunnel();
    ~DataTunnel();
    DataTunnel(const DataTunnel &) = delete;
    DataTunnel &operator=(const DataTunnel &) = delete;

    // Starts the handshake; the client's first bytes are in takeOutgoing().
    bool start(Role role, const PeerIdentity &identity);
    // Bytes that came off the connection. False once the tunnel has failed.
    bool feed(QByteArrayView encrypted);
    // Plain bytes to send: their encrypted form is added to what
    // takeOutgoing() gives. Before the handshake ends they wait.
    bool seal(QByteArrayView plain);
    // What must go to the connection now (handshake and sealed bytes).
    QByteArray takeOutgoing();
    // seal() and takeOutgoing() in one.
    QByteArray sealed(QByteArrayView plain);

    // The handshake is over: bytes flow both ways.
    bool isOpen() const { return m_open; }
    bool failed() const { return m_failed; }
    QString errorText() const { return m_error; }
    // The plain bytes received, in order.
    TunnelInput &input() { return m_input; }

    // SHA-256 of the other side's public key, once open.
    QByteArray peerKey() const { return m_peerKey; }
    // Six digits both sides of this session compute alike, from the TLS
    // exporter: a path that decrypts and encrypts again in the middle has
    // two sessions, and two codes.
    QString comparisonCode() const;

private:
    bool fail(const QString &why);
    bool pump();
    void drain();

    ssl_ctx_st *m_ctx = nullptr;
    ssl_st *m_ssl = nullptr;
    bio_st *m_in = nullptr; // owned by m_ssl
    bio_st *m_out = nullptr; // owned by m_ssl
    TunnelInput m_input;
    QByteArray m_outgoing;
    QByteArray m_waiting; // plain bytes sealed before the handshake ended
    QByteArray m_peerKey;
    bool m_open = false;
    bool m_failed = false;
    QString m_error;
};
