#include "transfer/DataTunnel.h"

#include "transfer/PeerIdentity.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstring>
#include <limits>

namespace {

// What one SSL_read takes at most: a few records at a time.
constexpr qint64 kReadChunk = 64 * 1024;
// SSL_write and BIO_write take an int.
constexpr qsizetype kMaxCall = 1 << 30;
constexpr char kExporterLabel[] = "EXPORTER-Voxlane-comparison-code";

QString openSslError(const char *what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QString::fromLatin1(what);
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QStringLiteral("%1 : %2").arg(QString::fromLatin1(what), QString::fromLatin1(text));
}

// Any certificate: the key in it is what the owner judges.
int acceptAnyCertificate(int, X509_STORE_CTX *)
{
    return 1;
}

} // namespace

TunnelInput::TunnelInput()
{
    open(QIODevice::ReadOnly);
}

char *TunnelInput::reserve(qint64 size)
{
    if (m_at == m_end) {
        m_at = m_end = 0;
    } else if (m_at > m_data.size() / 2) {
        std::memmove(m_data.data(), m_data.constData() + m_at, size_t(m_end - m_at));
        m_end -= m_at;
        m_at = 0;
    }
    if (m_data.size() < m_end + size)
        m_data.resize(qMax(m_end + size, qint64(m_data.size()) * 2));
    return m_data.data() + m_end;
}

void TunnelInput::grew(qint64 size)
{
    m_end += size;
}

void TunnelInput::append(const char *data, qint64 size)
{
    std::memcpy(reserve(size), data, size_t(size));
    grew(size);
}

qint64 TunnelInput::readData(char *data, qint64 maxSize)
{
    const qint64 n = qMin(maxSize, m_end - m_at);
    if (n <= 0)
        return 0;
    std::memcpy(data, m_data.constData() + m_at, size_t(n));
    m_at += n;
    return n;
}

DataTunnel::DataTunnel() = default;

DataTunnel::~DataTunnel()
{
    SSL_free(m_ssl); // frees both memory buffers
    SSL_CTX_free(m_ctx);
}

bool DataTunnel::fail(const QString &why)
{
    if (!m_failed)
        m_error = why;
    m_failed = true;
    m_open = false;
    return false;
}

bool DataTunnel::start(Role role, const PeerIdentity &identity)
{
    if (m_ssl || !identity.key() || !identity.certificate())
        return fail(QStringLiteral("tunnel déjà commencé ou clé absente"));
    ERR_clear_error();
    m_ctx = SSL_CTX_new(TLS_method());
    if (!m_ctx)
        return fail(openSslError("SSL_CTX_new"));
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_3_VERSION);
    SSL_CTX_set_max_proto_version(m_ctx, TLS1_3_VERSION);
    // AES-GCM first: the processor does it in hardware.
    SSL_CTX_set_ciphersuites(
        m_ctx, "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256");
    // Nothing to resume: every connection makes a session of its own.
    SSL_CTX_set_num_tickets(m_ctx, 0);
    SSL_CTX_set_session_cache_mode(m_ctx, SSL_SESS_CACHE_OFF);
    if (SSL_CTX_use_certificate(m_ctx, identity.certificate()) != 1
        || SSL_CTX_use_PrivateKey(m_ctx, identity.key()) != 1)
        return fail(openSslError("certificat"));
    // Both sides show a certificate, and both must get one.
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, acceptAnyCertificate);
    m_ssl = SSL_new(m_ctx);
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    if (!m_ssl || !m_in || !m_out) {
        BIO_free(m_in);
        BIO_free(m_out);
        m_in = m_out = nullptr;
        return fail(openSslError("SSL_new"));
    }
    // An empty input means "more to come", never the end of the stream.
    BIO_set_mem_eof_return(m_in, -1);
    BIO_set_mem_eof_return(m_out, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    if (role == Role::Client)
        SSL_set_connect_state(m_ssl);
    else
        SSL_set_accept_state(m_ssl);
    return pump();
}

bool DataTunnel::feed(QByteArrayView encrypted)
{
    if (m_failed || !m_ssl)
        return false;
    qsizetype at = 0;
    while (at < encrypted.size()) {
        const int n = int(qMin(encrypted.size() - at, kMaxCall));
        if (BIO_write(m_in, encrypted.data() + at, n) != n)
            return fail(openSslError("BIO_write"));
        at += n;
        // Read as it comes, so that the input buffer stays small.
        if (!pump())
            return false;
    }
    return !m_failed;
}

bool DataTunnel::pump()
{
    ERR_clear_error();
    if (!m_open) {
        const int r = SSL_do_handshake(m_ssl);
        if (r != 1) {
            const int error = SSL_get_error(m_ssl, r);
            drain(); // an alert for the other side, when there is one
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
                return true;
            return fail(openSslError("poignée de main TLS"));
        }
        X509 *peer = SSL_get1_peer_certificate(m_ssl);
        if (!peer)
            return fail(QStringLiteral("pas de certificat de l'autre côté"));
        m_peerKey = PeerIdentity::fingerprintOf(X509_get0_pubkey(peer));
        X509_free(peer);
        if (m_peerKey.isEmpty())
            return fail(QStringLiteral("clé de l'autre côté illisible"));
        m_open = true;
        if (!m_waiting.isEmpty()) {
            const QByteArray waiting = std::move(m_waiting);
            m_waiting.clear();
            if (!seal(waiting))
                return false;
        }
    }
    for (;;) {
        char *to = m_input.reserve(kReadChunk);
        const int r = SSL_read(m_ssl, to, int(kReadChunk));
        if (r > 0) {
            m_input.grew(r);
            continue;
        }
        const int error = SSL_get_error(m_ssl, r);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            break;
        if (error == SSL_ERROR_ZERO_RETURN)
            break; // the other side closed the tunnel in order: nothing more comes
        drain();
        return fail(openSslError("flux chiffré altéré ou invalide"));
    }
    drain();
    return true;
}

bool DataTunnel::seal(QByteArrayView plain)
{
    if (m_failed || !m_ssl)
        return false;
    if (!m_open) {
        m_waiting += plain;
        return true;
    }
    ERR_clear_error();
    qsizetype at = 0;
    while (at < plain.size()) {
        const int n = int(qMin(plain.size() - at, kMaxCall));
        const int r = SSL_write(m_ssl, plain.data() + at, n);
        if (r <= 0)
            return fail(openSslError("SSL_write"));
        at += r;
    }
    drain();
    return true;
}

void DataTunnel::drain()
{
    const size_t pending = BIO_ctrl_pending(m_out);
    if (pending == 0)
        return;
    const qsizetype old = m_outgoing.size();
    m_outgoing.resize(old + qsizetype(pending));
    const int n = BIO_read(m_out, m_outgoing.data() + old, int(pending));
    m_outgoing.resize(old + qMax(0, n));
}

QByteArray DataTunnel::takeOutgoing()
{
    QByteArray out = std::move(m_outgoing);
    m_outgoing.clear();
    return out;
}

QByteArray DataTunnel::sealed(QByteArrayView plain)
{
    seal(plain);
    return takeOutgoing();
}

QString DataTunnel::comparisonCode() const
{
    if (!m_open || !m_ssl)
        return {};
    unsigned char out[8];
    if (SSL_export_keying_material(
            m_ssl, out, sizeof out, kExporterLabel, std::strlen(kExporterLabel), nullptr, 0, 0)
        != 1)
        return {};
    quint64 value = 0;
    for (unsigned char byte : out)
        value = value << 8 | byte;
    return QStringLiteral("%1").arg(value % 1000000, 6, 10, QLatin1Char('0'));
}
