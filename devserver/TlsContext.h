#pragma once

#include <memory>
#include <string>

struct ssl_ctx_st;

namespace devserver {

// The service's certificate and private key, loaded once at start, from
// which every HTTPS connection is made. TLS 1.2 at least; no session tickets
// nor resumption (one request per connection), no renegotiation.
class TlsContext
{
public:
    // Nothing, with a readable reason in `error`, when a file cannot be read,
    // holds no PEM certificate or key, or the key is not the certificate's.
    // The certificate file may hold the chain after the service's own
    // certificate, as authorities hand it out.
    static std::unique_ptr<TlsContext> load(
        const std::string &certificateFile, const std::string &keyFile, std::string &error);
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    ssl_ctx_st *handle() const { return m_ctx; }

private:
    explicit TlsContext(ssl_ctx_st *ctx);

    ssl_ctx_st *m_ctx;
};

} // namespace devserver
