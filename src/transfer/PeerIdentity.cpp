#include "transfer/PeerIdentity.h"

#include "base/SafeFile.h"
#include "transfer/Sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

const QString PeerIdentity::KeyFileName = QStringLiteral("voxlane-cle.pem");

namespace {

EVP_PKEY *newKey()
{
    EVP_PKEY *key = nullptr;
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    if (ctx && EVP_PKEY_keygen_init(ctx) > 0)
        EVP_PKEY_keygen(ctx, &key);
    EVP_PKEY_CTX_free(ctx);
    return key;
}

// A certificate of the key by itself; its dates are wide, as nobody checks
// them: the key is what the other side compares.
X509 *selfSigned(EVP_PKEY *key)
{
    X509 *cert = X509_new();
    if (!cert)
        return nullptr;
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 20L * 365 * 24 * 3600);
    X509_NAME *name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(
        name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("Voxlane"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    if (X509_set_pubkey(cert, key) != 1 || X509_sign(cert, key, nullptr) <= 0) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

QByteArray keyPem(EVP_PKEY *key)
{
    BIO *bio = BIO_new(BIO_s_mem());
    QByteArray pem;
    if (bio && PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1) {
        char *data = nullptr;
        const long size = BIO_get_mem_data(bio, &data);
        pem = QByteArray(data, size);
    }
    BIO_free(bio);
    return pem;
}

EVP_PKEY *keyFromPem(const QByteArray &pem)
{
    BIO *bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    EVP_PKEY *key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    return key;
}

} // namespace

PeerIdentity::PeerIdentity(EVP_PKEY *key)
    : m_key(key)
    , m_certificate(selfSigned(key))
    , m_fingerprint(fingerprintOf(key))
{
}

PeerIdentity::~PeerIdentity()
{
    X509_free(m_certificate);
    EVP_PKEY_free(m_key);
}

QByteArray PeerIdentity::fingerprintOf(EVP_PKEY *key)
{
    if (!key)
        return {};
    unsigned char *der = nullptr;
    const int size = i2d_PUBKEY(key, &der);
    if (size <= 0)
        return {};
    const QByteArray digest = Sha256::hash(QByteArrayView(reinterpret_cast<const char *>(der), size));
    OPENSSL_free(der);
    return digest;
}

std::shared_ptr<PeerIdentity> PeerIdentity::generate()
{
    EVP_PKEY *key = newKey();
    if (!key)
        return nullptr;
    std::shared_ptr<PeerIdentity> identity(new PeerIdentity(key));
    return identity->m_certificate ? identity : nullptr;
}

std::shared_ptr<PeerIdentity> PeerIdentity::loadOrCreate(const QString &folder, QString *error)
{
    const auto fail = [error](const QString &why) -> std::shared_ptr<PeerIdentity> {
        if (error)
            *error = why;
        return nullptr;
    };
    const QString path = QDir(folder).filePath(KeyFileName);
    QFile file(path);
    if (file.exists()) {
        // A private key others can read is no longer this member's alone;
        // it is at least not left that way.
        const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if ((file.permissions() & ~(owner | QFileDevice::ReadUser | QFileDevice::WriteUser)) != 0
            && !file.setPermissions(owner))
            return fail(QStringLiteral("%1 : droits impossibles à restreindre").arg(path));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1 : %2").arg(path, file.errorString()));
        EVP_PKEY *key = keyFromPem(file.readAll());
        if (!key)
            return fail(QStringLiteral("%1 : clé illisible").arg(path));
        std::shared_ptr<PeerIdentity> identity(new PeerIdentity(key));
        if (!identity->m_certificate)
            return fail(QStringLiteral("%1 : certificat impossible à faire").arg(path));
        return identity;
    }
    std::shared_ptr<PeerIdentity> identity = generate();
    if (!identity)
        return fail(QStringLiteral("clé impossible à créer"));
    QDir().mkpath(folder);
    QString why;
    // A new file is made readable and writable by its owner only.
    if (!SafeFile::writeWhole(path, keyPem(identity->m_key), &why))
        return fail(QStringLiteral("%1 : %2").arg(path, why));
    return identity;
}
