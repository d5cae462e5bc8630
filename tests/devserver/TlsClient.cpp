#include "TlsClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

std::string lastError(const char *what)
{
    unsigned long code = 0;
    unsigned long last = 0;
    while ((code = ERR_get_error()) != 0)
        last = code;
    const char *reason = last ? ERR_reason_error_string(last) : nullptr;
    return std::string(what) + ": " + (reason ? reason : "no reason given");
}

} // namespace

TlsClient::TlsClient(
    std::uint16_t port, const std::string &from, const std::string &caFile, const std::string &serverName)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    timeval timeout { 10, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0) {
        if (fd >= 0)
            ::close(fd);
        m_error = "cannot connect from " + from;
        return;
    }
    m_fd = fd;

    m_ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_load_verify_locations(m_ctx, caFile.c_str(), nullptr) != 1)
        m_error = lastError("authority file");
    m_ssl = SSL_new(m_ctx);
    m_in = BIO_new(BIO_s_mem());
    m_out = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(m_in, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_connect_state(m_ssl);
    in_addr address {};
    if (::inet_pton(AF_INET, serverName.c_str(), &address) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), serverName.c_str());
    } else {
        SSL_set1_host(m_ssl, serverName.c_str());
        SSL_set_tlsext_host_name(m_ssl, serverName.c_str());
    }
}

TlsClient::~TlsClient()
{
    SSL_free(m_ssl);
    SSL_CTX_free(m_ctx);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TlsClient::sendRaw(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool TlsClient::flush()
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(m_out, &data);
    const bool sent = size <= 0 || sendRaw(std::string_view(data, static_cast<std::size_t>(size)));
    (void)BIO_reset(m_out);
    return sent;
}

bool TlsClient::pull()
{
    char buffer[16 * 1024];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0)
        return false;
    BIO_write(m_in, buffer, static_cast<int>(n));
    return true;
}

bool TlsClient::handshake()
{
    if (!connected() || !m_error.empty())
        return false;
    for (;;) {
        ERR_clear_error();
        const int r = SSL_do_handshake(m_ssl);
        if (!flush()) {
            m_error = "the server closed the connection during the handshake";
            return false;
        }
        if (r == 1)
            return true;
        if (SSL_get_error(m_ssl, r) != SSL_ERROR_WANT_READ) {
            const long verify = SSL_get_verify_result(m_ssl);
            m_error = verify != X509_V_OK
                ? std::string("certificate: ") + X509_verify_cert_error_string(verify)
                : lastError("handshake");
            return false;
        }
        if (!pull()) {
            m_error = "the server closed the connection during the handshake";
            return false;
        }
    }
}

bool TlsClient::send(std::string_view bytes, bool tamper)
{
    ERR_clear_error();
    if (SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) <= 0) {
        m_error = lastError("write");
        return false;
    }
    if (tamper) {
        char *data = nullptr;
        const long size = BIO_get_mem_data(m_out, &data);
        if (size > 8)
            data[size - 8] = static_cast<char>(data[size - 8] ^ 0x01);
    }
    return flush();
}

std::string TlsClient::readToEnd(bool *orderly)
{
    std::string all;
    char buffer[16 * 1024];
    if (orderly)
        *orderly = false;
    for (;;) {
        ERR_clear_error();
        const int n = SSL_read(m_ssl, buffer, sizeof buffer);
        if (n > 0) {
            all.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        const int e = SSL_get_error(m_ssl, n);
        if (e == SSL_ERROR_ZERO_RETURN) {
            if (orderly)
                *orderly = true;
            return all;
        }
        if (e != SSL_ERROR_WANT_READ || !pull())
            return all;
    }
}

std::string TlsClient::readRawToEnd()
{
    std::string all;
    char buffer[8192];
    ssize_t n;
    while ((n = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0)
        all.append(buffer, static_cast<std::size_t>(n));
    return all;
}
