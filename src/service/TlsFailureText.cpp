#include "service/TlsFailureText.h"

#include <QFileInfo>

#include <curl/curl.h>
#include <openssl/x509_vfy.h>

const QString TlsFailureText::kRefused = QStringLiteral("Certificat du service refusé : ");

namespace {

QString certificateProblem(long verifyResult, const QString &host)
{
    switch (verifyResult) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return QStringLiteral("émis par une autorité inconnue.");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return QStringLiteral("il est auto-signé.");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("il a expiré.");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("il n'est pas encore valable.");
    case X509_V_ERR_CERT_REVOKED:
        return QStringLiteral("il a été révoqué.");
    // The chain verified (OK), yet the peer was refused: libcurl checks the
    // name itself after OpenSSL and reports that check as "unspecified";
    // OpenSSL's own name checks have codes of their own.
    case X509_V_OK:
    case X509_V_ERR_UNSPECIFIED:
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("il n'est pas au nom de %1.").arg(host);
    default:
        return QStringLiteral("vérification impossible (code %1).").arg(verifyResult);
    }
}

} // namespace

QString TlsFailureText::unreadableAuthorities(const QString &caFile)
{
    return QStringLiteral("Certificat du service invérifiable : le fichier d'autorités « %1 » est illisible.")
        .arg(QFileInfo(caFile).fileName());
}

QString TlsFailureText::forTransfer(
    int curlCode, long verifyResult, const QString &host, const QString &caFile)
{
    switch (curlCode) {
    case CURLE_PEER_FAILED_VERIFICATION:
        return kRefused + certificateProblem(verifyResult, host);
    case CURLE_SSL_CACERT_BADFILE:
        return unreadableAuthorities(caFile);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
        return QStringLiteral("Connexion chiffrée au service impossible : la négociation TLS a échoué.");
    default:
        return {};
    }
}
