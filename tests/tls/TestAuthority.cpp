#include "TestAuthority.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cstdio>
#include <sys/stat.h>

namespace {

EVP_PKEY *newKey()
{
    return EVP_EC_gen("P-256");
}

bool addExtension(X509 *certificate, X509 *issuer, int nid, const std::string &value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!extension)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

X509 *newCertificate(EVP_PKEY *key, const std::string &commonName, long serial, long notBefore, long notAfter)
{
    X509 *certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), notBefore);
    X509_gmtime_adj(X509_getm_notAfter(certificate), notAfter);
    X509_set_pubkey(certificate, key);
    X509_NAME *subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(
        subject, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("Voxlane tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(
        subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(commonName.c_str()), -1, -1, 0);
    return certificate;
}

bool writePem(const std::string &path, X509 *certificate, EVP_PKEY *key)
{
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    // A private key, even a test's, is readable by its owner only.
    if (key)
        ::fchmod(fileno(f), 0600);
    const bool ok = certificate ? PEM_write_X509(f, certificate) == 1
                                : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return std::fclose(f) == 0 && ok;
}

std::string openSslError(const std::string &what)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return what + ": " + text;
}

} // namespace

TestAuthority::TestAuthority(const std::string &folder, const std::string &name)
    : m_folder(folder)
    , m_name(name)
    , m_certificateFile(folder + "/" + name + "-ca.pem")
{
    EVP_PKEY *key = newKey();
    if (!key) {
        m_error = openSslError("authority key");
        return;
    }
    m_key = key;
    X509 *certificate = newCertificate(key, name + " test authority", m_serial++, -3600, 86400);
    m_certificate = certificate;
    X509_set_issuer_name(certificate, X509_get_subject_name(certificate));
    if (!addExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE")
        || !addExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign")
        || !addExtension(certificate, certificate, NID_subject_key_identifier, "hash")
        || X509_sign(certificate, key, EVP_sha256()) == 0) {
        m_error = openSslError("authority certificate");
        return;
    }
    if (!writePem(m_certificateFile, certificate, nullptr))
        m_error = "cannot write " + m_certificateFile;
}

TestAuthority::~TestAuthority()
{
    X509_free(static_cast<X509 *>(m_certificate));
    EVP_PKEY_free(static_cast<EVP_PKEY *>(m_key));
}

TestAuthority::Issued TestAuthority::issue(const std::string &name, const std::vector<std::string> &names,
    long notBeforeSeconds, long notAfterSeconds)
{
    if (!m_error.empty())
        return {};
    auto *authority = static_cast<X509 *>(m_certificate);
    EVP_PKEY *key = newKey();
    if (!key) {
        m_error = openSslError("service key");
        return {};
    }
    X509 *certificate = newCertificate(
        key, names.empty() ? name : names.front(), m_serial++, notBeforeSeconds, notAfterSeconds);
    X509_set_issuer_name(certificate, X509_get_subject_name(authority));
    std::string alternatives;
    for (const std::string &n : names) {
        in_addr address {};
        alternatives += (alternatives.empty() ? "" : ",")
            + std::string(::inet_pton(AF_INET, n.c_str(), &address) == 1 ? "IP:" : "DNS:") + n;
    }
    Issued issued { m_folder + "/" + name + ".pem", m_folder + "/" + name + ".key" };
    const bool made
        = (alternatives.empty() || addExtension(certificate, authority, NID_subject_alt_name, alternatives))
        && addExtension(certificate, authority, NID_basic_constraints, "critical,CA:FALSE")
        && addExtension(certificate, authority, NID_ext_key_usage, "serverAuth")
        && addExtension(certificate, authority, NID_authority_key_identifier, "keyid:always")
        && X509_sign(certificate, static_cast<EVP_PKEY *>(m_key), EVP_sha256()) != 0;
    if (!made)
        m_error = openSslError("service certificate " + name);
    else if (!writePem(issued.certificateFile, certificate, nullptr)
        || !writePem(issued.keyFile, nullptr, key))
        m_error = "cannot write the files of " + name;
    X509_free(certificate);
    EVP_PKEY_free(key);
    return m_error.empty() ? issued : Issued {};
}
