#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

class DialogService;

// The encodings of credentials and addresses: the password's MD5 digest
// sent to the service, and the PC1 stream cipher (128-bit key form) whose
// letter output hides the remembered password and the members' addresses.
// The key is derived from the pseudonym, so anyone knowing the pseudonym can
// decode; this is obfuscation shared with every other client, not secrecy.
//
// Operations that can give "no result" return false and leave the target
// untouched. Each call starts from a fresh cipher state.
class CredentialCodec
{
public:
    // Longest text accepted by the letter buffer of 33 001 bytes.
    static constexpr int kMaxClearBytes = 16499;
    static constexpr int kMaxLetters = 33000;

    explicit CredentialCodec(DialogService *dialogs = nullptr);

    static QString MD5Hex(const QString &text);
    static QString DeriveUserKey(const QString &pseudonym);

    bool PC1EncryptText(const QString &key, const QString &text, QString &target) const;
    bool PC1DecryptText(const QString &key, const QString &letters, QString &target) const;

    bool EncryptForUser(const QString &pseudonym, const QString &text, QString &target) const;
    bool DecryptForUser(const QString &pseudonym, const QString &letters, QString &target) const;

private:
    bool checkKey(const QString &key) const;

    DialogService *m_dialogs;
};
