#include "transfer/Sha256.h"

#include <openssl/evp.h>

#include <new>

void Sha256::Free::operator()(evp_md_ctx_st *context) const
{
    EVP_MD_CTX_free(context);
}

Sha256::Sha256()
    : m_context(EVP_MD_CTX_new())
{
    if (!m_context)
        throw std::bad_alloc();
    reset();
}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    // Only fails for want of memory, as the allocation above would.
    if (EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

void Sha256::addData(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        EVP_DigestUpdate(m_context.get(), bytes.data(), size_t(bytes.size()));
}

QByteArray Sha256::result() const
{
    // Finishing a copy leaves this one open for more bytes.
    std::unique_ptr<evp_md_ctx_st, Free> copy(EVP_MD_CTX_new());
    if (!copy || EVP_MD_CTX_copy_ex(copy.get(), m_context.get()) != 1)
        throw std::bad_alloc();
    QByteArray digest(DigestSize, Qt::Uninitialized);
    unsigned int size = 0;
    EVP_DigestFinal_ex(copy.get(), reinterpret_cast<unsigned char *>(digest.data()), &size);
    digest.truncate(int(size));
    return digest;
}

QByteArray Sha256::hash(QByteArrayView bytes)
{
    Sha256 h;
    h.addData(bytes);
    return h.result();
}
