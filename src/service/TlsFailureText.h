#pragma once

#include <QString>

// What the user is told, in French, when the secure connection to the
// community service fails: a certificate that does not verify is named as
// such ("Certificat du service refusé : ..."), apart from a network that is
// down, so that nobody "retries later" against a service that is being
// impersonated. Short enough for the info bar.
class TlsFailureText
{
public:
    static const QString kRefused; // "Certificat du service refusé : "

    // The text for a transfer that libcurl ended with curlCode, the
    // certificate check having ended with verifyResult (OpenSSL's X509_V_*
    // code); host: the service's, as in its URL; caFile: the extra CA file
    // named, if any. Empty when the failure is not the secure connection's.
    static QString forTransfer(int curlCode, long verifyResult, const QString &host, const QString &caFile);
    // The extra CA file cannot be read or holds no certificate.
    static QString unreadableAuthorities(const QString &caFile);
};
