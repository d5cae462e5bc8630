#pragma once

#include "service/CredentialCodec.h"
#include "service/HttpClient.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class DialogService;

// The member's session with the community service: the account in use, the
// member id, the contact list of the log-in reply and the credential codec.
// It is the one owner of that state; windows read it and show what its
// signals tell. It outlives the windows, so a reply that comes after a
// window is gone lands here and reaches no destroyed object.
class ServiceSession : public QObject
{
    Q_OBJECT

public:
    // serviceUrl: base of every request; localIp: the address to report, or
    // empty to take the host's own; dialogs: where the codec reports what it
    // refuses.
    ServiceSession(const QString &serviceUrl, const HttpLimits &limits, const QString &localIp,
        DialogService *dialogs, QObject *parent = nullptr);
    ~ServiceSession() override;

    // Log-in request and reading of its reply; true when accepted. While the
    // service answers, events run on: the caller must not assume that what
    // it holds is still there afterwards.
    bool OpenSession(const QString &Pseudo, const QString &Digest);
    // Log-out request for the current account; true when the service
    // confirmed. A totalTimeoutMs above 0 bounds the whole request (on the way
    // out of the program, where its outcome hardly matters).
    bool CloseSession(int totalTimeoutMs = 0);
    // The local address reported to the service: the forced one when set,
    // otherwise the last IPv4 address of the machine's interfaces (loopback
    // only when there is no other); empty when none.
    QString GetLocalIP() const;
    // A client of the community service for one request (IdHTTP1 is the
    // shared one).
    std::unique_ptr<HttpClient> NewHttpClient() const;
    // The PEM file of authorities trusted beside the system's for an
    // https:// service (empty: the system's only); every client the session
    // makes from now on, IdHTTP1 included, uses it.
    void setServiceCaFile(const QString &path);
    QString serviceCaFile() const { return m_serviceCaFile; }
    // Sorts ContactList ignoring letter case, in the locale's collation order.
    void SortContactList();

    QString serviceUrl() const { return m_serviceUrl; }
    HttpLimits limits() const { return m_limits; }

    HttpClient *IdHTTP1 = nullptr;
    CredentialCodec Codec;
    QString CurrentPseudo;
    QString CurrentPassword;
    bool Connected = false;
    int UserId = 0;
    QStringList ContactList;

signals:
    // A message for the info bar (AffichInfo's arguments).
    void info(const QString &text, bool show, int milliseconds);
    // A text for one panel of the status bar.
    void statusText(int panel, const QString &text);
    // The service accepted the log-in: ContactList is sorted and UserId read;
    // requests are the pending contact requests, in the reply's order.
    void loggedIn(const QStringList &requests);
    // The service answered a log-in, accepted or not: presence polling starts.
    void loginAnswered();
    // The service confirmed the log-out.
    void loggedOut();

private:
    QString m_serviceUrl;
    HttpLimits m_limits;
    QString m_localIp;
    QString m_serviceCaFile;
};
