#pragma once

#include <string>
#include <vector>

// A certificate authority made for one test, and the service certificates
// it signs. Every key is made at run time (EC P-256, fast) and written with
// its certificate as PEM files into a folder the test owns; nothing of it is
// kept in the tree.
class TestAuthority
{
public:
    struct Issued
    {
        std::string certificateFile;
        std::string keyFile;
    };

    // Makes the authority's key and self-signed certificate ("NAME-ca.pem").
    TestAuthority(const std::string &folder, const std::string &name);
    ~TestAuthority();
    TestAuthority(const TestAuthority &) = delete;
    TestAuthority &operator=(const TestAuthority &) = delete;

    // Empty when the authority was made; otherwise why not.
    const std::string &error() const { return m_error; }
    // The authority's certificate, as a client is told to trust it.
    const std::string &certificateFile() const { return m_certificateFile; }

    // A service certificate named "NAME.pem" (key "NAME.key") for these
    // names: dotted IPv4 addresses become IP entries, the others DNS ones.
    // Valid from notBeforeSeconds to notAfterSeconds around now (a test of
    // an expired certificate passes two negative offsets). Empty files and
    // error() set when it cannot be made.
    Issued issue(const std::string &name, const std::vector<std::string> &names,
        long notBeforeSeconds = -3600, long notAfterSeconds = 86400);

private:
    std::string m_folder;
    std::string m_name;
    std::string m_certificateFile;
    std::string m_error;
    void *m_key = nullptr; // EVP_PKEY
    void *m_certificate = nullptr; // X509
    long m_serial = 1;
};
