#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct evp_pkey_st;
struct x509_st;

// This member's long-term key pair, which the encrypted data connection
// presents to the other Voxlane client as a self-signed certificate. There
// is no authority in the community to vouch for it: what the other side
// remembers is the public key itself (fingerprint()), per pseudonym.
//
// The private key lives in the program's folder (KeyFileName, PEM), made
// at the first start and readable by its owner only: a file found with
// looser permissions is tightened on load. The certificate is made again
// from the key at each start; only the key matters to the other side.
// Ed25519: small keys, fast signatures, and made in no time at first start.
class PeerIdentity
{
public:
    static const QString KeyFileName;

    ~PeerIdentity();
    PeerIdentity(const PeerIdentity &) = delete;
    PeerIdentity &operator=(const PeerIdentity &) = delete;

    // The key of the folder, made and saved when there is none. Nothing
    // (with the reason) when it can be neither read nor made.
    static std::shared_ptr<PeerIdentity> loadOrCreate(const QString &folder, QString *error = nullptr);
    // A key that lives in memory only.
    static std::shared_ptr<PeerIdentity> generate();

    evp_pkey_st *key() const { return m_key; }
    x509_st *certificate() const { return m_certificate; }
    // SHA-256 of the public key (its DER SubjectPublicKeyInfo), 32 bytes.
    QByteArray fingerprint() const { return m_fingerprint; }
    static QByteArray fingerprintOf(evp_pkey_st *key);

private:
    explicit PeerIdentity(evp_pkey_st *key);
    evp_pkey_st *m_key = nullptr;
    x509_st *m_certificate = nullptr;
    QByteArray m_fingerprint;
};
