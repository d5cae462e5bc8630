#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

struct evp_md_ctx_st;

// SHA-256 through libcrypto's EVP interface, which uses the processor's SHA
// instructions where it has them: several times the speed of a portable
// implementation, and the same digests. A transfer hashes every byte it
// moves, so this is what the speed of fast mode rests on.
//
// One object per stream of bytes; it may move between threads (a worker
// goes on with the hash of a prefix read on another), but is never used by
// two at once.
class Sha256
{
public:
    static constexpr int DigestSize = 32;

    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void addData(QByteArrayView bytes);
    void addData(const char *data, qint64 size) { addData(QByteArrayView(data, size)); }
    // The digest of everything added so far; more may be added after it.
    QByteArray result() const;
    // Back to the hash of nothing.
    void reset();

    static QByteArray hash(QByteArrayView bytes);

private:
    struct Free
    {
        void operator()(evp_md_ctx_st *context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_context;
};
