#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

class PeerIdentity;

// The keys of the other members, remembered per pseudonym the first time a
// transfer with them succeeded (trust on first use: there is no authority
// to ask). A later connection presenting another key for the same member
// is stopped until the user accepts the new one (a member who reinstalled
// Voxlane has a new key; so does someone else on the path).
//
// The pseudonym is the one the negotiation named for the transfer: the data
// connection itself carries nothing that says who is at the other end.
//
// One line per member in the program's folder (FileName): the key's
// fingerprint in hexadecimal, a space, the pseudonym in Windows-1252.
// Readable by its owner only, like the key itself. Every change is written
// at once, whole (SafeFile).
class PeerKeys
{
public:
    static const QString FileName;

    enum class Verdict {
        Unknown, // no key remembered for this member yet
        Same, // the key remembered
        Changed, // another key than the one remembered
    };

    // Reads the file, when there is one; a file with looser permissions is
    // tightened. Lines that make no sense are skipped.
    explicit PeerKeys(const QString &path);

    Verdict check(const QString &pseudo, const QByteArray &key) const;
    QByteArray pinned(const QString &pseudo) const { return m_keys.value(pseudo); }
    // After a transfer that succeeded: the key is remembered when none was.
    // False when nothing changed or the file could not be written.
    bool rememberFirst(const QString &pseudo, const QByteArray &key, QString *error = nullptr);
    // The user's acceptance of a member's new key: it replaces the old one.
    bool accept(const QString &pseudo, const QByteArray &key, QString *error = nullptr);
    // The user accepts that a member's transfers run in clear again (an
    // older client, a client of the community): the key is forgotten.
    bool forget(const QString &pseudo, QString *error = nullptr);
    QString path() const { return m_path; }

    // 0600 for a file that is there: what another user may read of it goes.
    static bool restrictToOwner(const QString &path);

private:
    bool save(QString *error);

    QString m_path;
    QHash<QString, QByteArray> m_keys;
};

// What the encrypted data connection needs: this member's key pair and the
// keys of the others. Made once from the program's folder at start-up and
// given to the transfer manager, whose every transfer takes it; a job made
// on its own takes the default (setDefault), none unless set. Without it a
// transfer offers no encryption (tests of the plain modes, a folder that
// could not hold the key).
struct TransferSecurity
{
    std::shared_ptr<PeerIdentity> identity;
    std::shared_ptr<PeerKeys> keys;

    // Both from the folder, the key made when there is none.
    static std::shared_ptr<TransferSecurity> open(const QString &folder, QString *error = nullptr);
    static void setDefault(std::shared_ptr<TransferSecurity> security);
    static std::shared_ptr<TransferSecurity> byDefault();
};
