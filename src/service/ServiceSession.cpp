#include "service/ServiceSession.h"

#include "base/SettingsStore.h"
#include "service/LocalAddress.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"

#include <QCollator>
#include <QCoreApplication>
#include <QLocale>
#include <QPointer>

#include <algorithm>

namespace {

const QString kConnected = QStringLiteral("Connecté");
const QString kDisconnected = QStringLiteral("Déconnecté");
const QString kClosing = QStringLiteral("Fermeture de session...");
const QString kLoginNetworkDown = QStringLiteral("\n\rLe réseau est indisponible, veuillez réessayer plus "
                                                 "tard.\n\r\n\rVérifiez votre connexion à Internet");
const QString kLoginServiceError
    = QStringLiteral("Erreur de connexion.\n\rLe service est momentanément inaccessible.");
const QString kLoginRefused
    = QStringLiteral("Accès refusé !\n\rVérifiez votre nom d'utilisateur et mot de passe.\n\r"
                     "Vous devez être inscrit pour vous connecter.");
constexpr int kTlsFailureMs = 8000;
const QString kLogoutNetworkDown = QStringLiteral(
    "Le réseau est indisponible, veuillez réessayer plus tard.\n\rVérifiez votre connexion à Internet");

} // namespace

ServiceSession::ServiceSession(const QString &serviceUrl, const HttpLimits &limits, const QString &localIp,
    DialogService &dialogs, QObject *parent)
    : QObject(parent)
    , m_codec(&dialogs)
    , m_serviceUrl(serviceUrl)
    , m_limits(limits)
    , m_localIp(localIp)
{
    setObjectName(QStringLiteral("ServiceSession"));
    m_http = new HttpClient(serviceUrl, limits, this);
    m_http->setObjectName(QStringLiteral("IdHTTP1"));
}

ServiceSession::~ServiceSession() = default;

std::unique_ptr<HttpClient> ServiceSession::NewHttpClient() const
{
    auto client = std::make_unique<HttpClient>(m_serviceUrl, m_limits);
    client->setExtraCaFile(m_serviceCaFile);
    return client;
}

void ServiceSession::setServiceCaFile(const QString &path)
{
    m_serviceCaFile = path;
    m_http->setExtraCaFile(path);
}

QString ServiceSession::GetLocalIP() const
{
    if (!m_localIp.isEmpty())
        return m_localIp;
    return LocalAddress::hostAddress();
}

void ServiceSession::SortContactList()
{
    QCollator collator { QLocale() };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_contacts.begin(), m_contacts.end(),
        [&collator](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
}

bool ServiceSession::OpenSession(const QString &Pseudo, const QString &Digest)
{
    // Events run while the service answers; whoever owns the session may
    // delete it meanwhile (the program ending), and then nothing more is done.
    const QPointer<ServiceSession> alive(this);
    QString ip;
    m_codec.EncryptForUser(Pseudo, GetLocalIP(), ip);
    QString body;
    const std::unique_ptr<HttpClient> http = NewHttpClient();
    const bool answered = http->get(ServiceRequests::connect(Pseudo, Digest, ip), body);
    if (!alive)
        return false;
    if (!answered) {
        // A refused certificate is told as such, and stays on show longer:
        // retrying will not help, and the member should know why.
        if (!http->lastTlsFailure().isEmpty())
            emit info(QStringLiteral("\n\r") + http->lastTlsFailure(), true, kTlsFailureMs);
        else
            emit info(kLoginNetworkDown, true, 3000);
        return false;
    }

    const ServiceReplies::LoginReply reply = ServiceReplies::readLogin(body);
    bool accepted = false;
    switch (reply.outcome) {
    case ServiceReplies::LoginOutcome::ServiceError:
        emit info(kLoginServiceError, true, 2500);
        break;
    case ServiceReplies::LoginOutcome::Refused:
        emit info(kLoginRefused, true, 2500);
        break;
    case ServiceReplies::LoginOutcome::Accepted: {
        // A missing or malformed id leaves the previous one. The shared
        // client is a child of the session: it goes with it.
        QString idText;
        const bool gotId = m_http->get(ServiceRequests::memberId(Pseudo), idText);
        if (!alive)
            return false;
        if (gotId)
            ServiceReplies::readMemberId(idText, m_userId);

        emit info(kConnected, true, 0);
        emit statusText(2, kConnected);
        m_contacts = reply.contacts;
        SortContactList();
        emit loggedIn(reply.requests);
        accepted = true;
        break;
    }
    }
    if (!alive)
        return false;
    // Presence polling starts once the service has answered, accepted or not.
    emit loginAnswered();
    m_connected = accepted;
    return accepted;
}

bool ServiceSession::CloseSession(int totalTimeoutMs)
{
    const QPointer<ServiceSession> alive(this);
    emit info(kClosing, true, 0);
    QCoreApplication::processEvents();
    if (!alive)
        return false;

    QString body;
    HttpLimits limits = m_limits;
    if (totalTimeoutMs > 0)
        limits.totalTimeoutMs = totalTimeoutMs;
    HttpClient client(m_serviceUrl, limits);
    client.setExtraCaFile(m_serviceCaFile);
    const bool answered = client.get(
        ServiceRequests::disconnect(m_pseudo, CredentialCodec::MD5Hex(m_password)), body);
    if (!alive || !answered)
        return false;
    if (!ServiceReplies::isDisconnected(body)) {
        emit info(kLogoutNetworkDown, true, 3000);
        return false;
    }
    m_connected = false;
    m_contacts.clear();
    emit statusText(1, QString());
    emit statusText(2, kDisconnected);
    emit info(QString(), false, 0);
    emit loggedOut();
    return true;
}

void ServiceSession::setAccount(const QString &pseudo, const QString &password)
{
    m_pseudo = pseudo;
    m_password = password;
}

bool ServiceSession::restoreRememberedAccount(const SettingsStore &settings)
{
    const QString user = settings.read(QStringLiteral("User"));
    if (user.isEmpty())
        return false;
    QString password; // no result: no password, never the previous account's
    m_codec.DecryptForUser(user, settings.read(QStringLiteral("Mdp")), password);
    setAccount(user, password);
    return true;
}

void ServiceSession::rememberAccount(SettingsStore &settings) const
{
    settings.write(QStringLiteral("User"), m_pseudo);
    QString stored;
    m_codec.EncryptForUser(m_pseudo, m_password, stored);
    settings.write(QStringLiteral("Mdp"), stored);
}

bool ServiceSession::isContact(const QString &pseudo) const
{
    return m_contacts.contains(pseudo, Qt::CaseInsensitive);
}

void ServiceSession::addContact(const QString &pseudo)
{
    if (isContact(pseudo))
        return;
    m_contacts.append(pseudo);
    SortContactList();
}

void ServiceSession::removeContact(const QString &pseudo)
{
    for (qsizetype i = 0; i < m_contacts.size(); ++i) {
        if (m_contacts.at(i).compare(pseudo, Qt::CaseInsensitive) == 0) {
            m_contacts.removeAt(i);
            return;
        }
    }
}
