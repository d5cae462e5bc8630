#include "TlsStream.h"

#include "TlsContext.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <stdexcept>

namespace devserver {

TlsStream::TlsStream(const TlsContext &context)
{
    m_ssl = SSL_new(context.handle());
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    if (!m_ssl || !m_in || !m_out) {
        BIO_free(m_in);
        BIO_free(m_out);
        SSL_free(m_ssl);
        throw std::bad_alloc();
    }
    // An empty input buffer means "wait for the network", not end of file.
    BIO_set_mem_eof_return(m_in, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_accept_state(m_ssl);
}

TlsStream::~TlsStream()
{
    SSL_free(m_ssl);
}

TlsStream::Result TlsStream::fail(int sslError)
{
    if (sslError == SSL_ERROR_SSL) {
        unsigned long code = 0;
        unsigned long last = 0;
        while ((code = ERR_get_error()) != 0)
            last = code;
        const char *reason = last ? ERR_reason_error_string(last) : nullptr;
        m_error = reason ? reason : "protocol error";
    } else {
        m_error = "protocol error";
        ERR_clear_error();
    }
    return Result::Failed;
}

TlsStream::Result TlsStream::receive(std::string_view wire, std::string &plain)
{
    if (!wire.empty()
        && BIO_write(m_in, wire.data(), static_cast<int>(wire.size())) != static_cast<int>(wire.size()))
        throw std::bad_alloc();
    ERR_clear_error();
    if (!m_handshakeDone) {
        const int r = SSL_do_handshake(m_ssl);
        if (r != 1) {
            const int e = SSL_get_error(m_ssl, r);
            return e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE ? Result::Ok : fail(e);
        }
        m_handshakeDone = true;
    }
    char buffer[16 * 1024];
    for (;;) {
        ERR_clear_error();
        const int n = SSL_read(m_ssl, buffer, sizeof buffer);
        if (n > 0) {
            plain.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        const int e = SSL_get_error(m_ssl, n);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE)
            return Result::Ok;
        if (e == SSL_ERROR_ZERO_RETURN)
            return Result::Closed;
        return fail(e);
    }
}

void TlsStream::send(std::string_view plain)
{
    // Into a memory buffer: every byte is taken at once.
    while (!plain.empty()) {
        ERR_clear_error();
        const int n
            = SSL_write(m_ssl, plain.data(), static_cast<int>(std::min<std::size_t>(plain.size(), 1 << 30)));
        if (n <= 0) {
            fail(SSL_get_error(m_ssl, n));
            return;
        }
        plain.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TlsStream::close()
{
    ERR_clear_error();
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

void TlsStream::takeOutput(std::string &wire)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(m_out, &data);
    if (size > 0)
        wire.append(data, static_cast<std::size_t>(size));
    (void)BIO_reset(m_out);
}

} // namespace devserver
