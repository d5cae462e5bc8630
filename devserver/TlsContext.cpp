#include "TlsContext.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace devserver {

namespace {

// The last OpenSSL error in its own words, the queue emptied.
std::string openSslReason()
{
    unsigned long code = 0;
    unsigned long last = 0;
    while ((code = ERR_get_error()) != 0)
        last = code;
    if (last == 0)
        return "unknown error";
    const char *reason = ERR_reason_error_string(last);
    return reason ? reason : "error " + std::to_string(last);
}

// A file that cannot be opened is named with the system's reason, which
// says more than OpenSSL's "system lib".
bool readable(const std::string &file, const char *what, std::string &error)
{
    std::FILE *f = std::fopen(file.c_str(), "rb");
    if (!f) {
        error = std::string("cannot read the ") + what + " " + file + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    return true;
}

} // namespace

TlsContext::TlsContext(ssl_ctx_st *ctx)
    : m_ctx(ctx)
{
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(m_ctx);
}

std::unique_ptr<TlsContext> TlsContext::load(
    const std::string &certificateFile, const std::string &keyFile, std::string &error)
{
    if (!readable(certificateFile, "certificate", error) || !readable(keyFile, "key", error))
        return nullptr;
    ERR_clear_error();
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) {
        error = "OpenSSL: " + openSslReason();
        return nullptr;
    }
    std::unique_ptr<TlsContext> context(new TlsContext(ctx));
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_TICKET);
    // One request per connection: nothing to resume, nothing to remember.
    SSL_CTX_set_num_tickets(ctx, 0);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    if (SSL_CTX_use_certificate_chain_file(ctx, certificateFile.c_str()) != 1) {
        error = "no usable certificate in " + certificateFile + ": " + openSslReason();
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        if (ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH)
            error = "the key in " + keyFile + " is not the one of the certificate in " + certificateFile;
        else
            error = "no usable private key in " + keyFile + ": " + openSslReason();
        ERR_clear_error();
        return nullptr;
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        error = "the key in " + keyFile + " is not the one of the certificate in " + certificateFile;
        ERR_clear_error();
        return nullptr;
    }
    return context;
}

} // namespace devserver
