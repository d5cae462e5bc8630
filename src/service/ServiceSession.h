#pragma once

#include "service/CredentialCodec.h"
#include "service/HttpClient.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class DialogService;
class SettingsStore;

// The member's session with the community service: the account in use, the
// member id, the contact list of the log-in reply and the credential codec.
// It is the one owner of that state: windows read it through the getters,
// change it through the operations, and show what its signals tell. It
// outlives the windows, so a reply that comes after a window is gone lands
// here and reaches no destroyed object.
class ServiceSession : public QObject
{
    Q_OBJECT

public:
    // serviceUrl: base of every request; localIp: the address to report, or
    // empty to take the host's own; dialogs: where the codec reports what it
    // refuses.
    ServiceSession(const QString &serviceUrl, const HttpLimits &limits, const QString &localIp,
        DialogService &dialogs, QObject *parent = nullptr);
    ~ServiceSession() override;

    // Log-in request and reading of its reply; true when accepted. While the
    // service answers, events run on: the caller must not assume that what
    // it holds is still there afterwards.
    bool OpenSession(const QString &Pseudo, const QString &Digest);
    // Log-out request for the current account; true when the service
    // confirmed, and then the contact list is emptied. A totalTimeoutMs above
    // 0 bounds the whole request (on the way out of the program, where its
    // outcome hardly matters).
    bool CloseSession(int totalTimeoutMs = 0);
    // The local address reported to the service: the forced one when set,
    // otherwise the last IPv4 address of the machine's interfaces (loopback
    // only when there is no other); empty when none.
    QString GetLocalIP() const;
    // A client of the community service for one request (http() is the
    // shared one).
    std::unique_ptr<HttpClient> NewHttpClient() const;
    // The PEM file of authorities trusted beside the system's for an
    // https:// service (empty: the system's only); every client the session
    // makes from now on, the shared one included, uses it.
    void setServiceCaFile(const QString &path);
    QString serviceCaFile() const { return m_serviceCaFile; }
    // Sorts the contact list ignoring letter case, in the locale's
    // collation order.
    void SortContactList();

    QString serviceUrl() const { return m_serviceUrl; }
    HttpLimits limits() const { return m_limits; }

    // The client shared by the requests of the windows (card details,
    // member ids, contact tables), object name "IdHTTP1".
    HttpClient &http() const { return *m_http; }
    const CredentialCodec &codec() const { return m_codec; }

    // The account the next log-in uses, and the one logged in.
    QString currentPseudo() const { return m_pseudo; }
    QString currentPassword() const { return m_password; }
    void setAccount(const QString &pseudo, const QString &password);
    // The account remembered in settings ("User", and "Mdp" encrypted for
    // it) becomes the current one; a remembered account whose password does
    // not decode comes back without a password. False, and the current
    // account kept, when none is remembered.
    bool restoreRememberedAccount(const SettingsStore &settings);
    // The current account is remembered in settings.
    void rememberAccount(SettingsStore &settings) const;

    // Logged in: from an accepted log-in to a confirmed log-out.
    bool isConnected() const { return m_connected; }
    // The member id the service gave at the last log-in (0 before any).
    int userId() const { return m_userId; }

    // The member's contacts, sorted; isContact ignores letter case.
    const QStringList &contactList() const { return m_contacts; }
    bool isContact(const QString &pseudo) const;
    // A contact accepted during the session joins the list (once), which
    // stays sorted; a deleted one leaves it.
    void addContact(const QString &pseudo);
    void removeContact(const QString &pseudo);

signals:
    // A message for the info bar (AffichInfo's arguments).
    void info(const QString &text, bool show, int milliseconds);
    // A text for one panel of the status bar.
    void statusText(int panel, const QString &text);
    // The service accepted the log-in: the contact list is sorted and the
    // member id read;
    // requests are the pending contact requests, in the reply's order.
    void loggedIn(const QStringList &requests);
    // The service answered a log-in, accepted or not: presence polling starts.
    void loginAnswered();
    // The service confirmed the log-out.
    void loggedOut();

private:
    HttpClient *m_http = nullptr;
    CredentialCodec m_codec;
    QString m_pseudo;
    QString m_password;
    bool m_connected = false;
    int m_userId = 0;
    QStringList m_contacts;
    QString m_serviceUrl;
    HttpLimits m_limits;
    QString m_localIp;
    QString m_serviceCaFile;
};
