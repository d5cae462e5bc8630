#include "app/TrayStatus.h"

#include "service/ServiceSession.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

TrayStatus::TrayStatus(ServiceSession *session, TransferManager *transfers, QObject *parent)
    : TrayStatus(session, transfers, QDBusConnection::sessionBus(), parent)
{
}

TrayStatus::TrayStatus(
    ServiceSession *session, TransferManager *transfers, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_transfers(transfers)
    , m_bus(bus)
{
    setObjectName(QStringLiteral("TrayStatus"));
    m_tipTimer = new QTimer(this);
    m_tipTimer->setSingleShot(true);
    m_tipTimer->setInterval(kTipDelayMs);
    connect(m_tipTimer, &QTimer::timeout, this, &TrayStatus::refresh);
    init();
    m_tip = tipText(QString(), 0);
}

TrayStatus::~TrayStatus() = default;

void TrayStatus::init()
{
    const auto later = [this] { m_tipTimer->start(); };
    if (m_session) {
        connect(m_session, &ServiceSession::loggedIn, this, later);
        connect(m_session, &ServiceSession::loggedOut, this, later);
        connect(m_session, &ServiceSession::loginAnswered, this, later);
    }
    if (m_transfers) {
        connect(m_transfers, &TransferManager::ListChanged, this, later);
        connect(m_transfers, &TransferManager::JobFollowed, this, [this](TransferJob *job) { followJob(job); });
    }

    if (!m_bus.isConnected())
        return;
    m_watcher = new QDBusServiceWatcher(kWatcherService, m_bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayStatus::askHost);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        ++m_hostQuestion;
        setHost(false);
    });
    // A host that registers (or goes) with a watcher already there.
    for (const char *signal : { "StatusNotifierHostRegistered", "StatusNotifierHostUnregistered" })
        m_bus.connect(kWatcherService, kWatcherPath, kWatcherService, QString::fromLatin1(signal), this,
            SLOT(askHost()));
    askHost();
}

void TrayStatus::askHost()
{
    if (!m_bus.isConnected())
        return;
    const int question = ++m_hostQuestion;
    QDBusMessage call = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *watch = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watch, &QDBusPendingCallWatcher::finished, this, [this, question](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (question != m_hostQuestion)
            return;
        const QDBusPendingReply<QDBusVariant> reply = *w;
        setHost(!reply.isError() && reply.value().variant().toBool());
    });
}

void TrayStatus::setHost(bool sni)
{
    if (sni == m_sniHost)
        return;
    m_sniHost = sni;
    emit hostChanged(sni);
}

void TrayStatus::followJob(TransferJob *job)
{
    if (!job)
        return;
    const auto later = [this] { m_tipTimer->start(); };
    connect(job, &TransferJob::connectionOpened, this, later);
    connect(job, &TransferJob::stopped, this, later);
    connect(job, &TransferJob::socketError, this, later);
    connect(job, &TransferJob::completed, this, later);
    connect(job, &TransferJob::stateChanged, this, later);
    connect(job, &QObject::destroyed, this, later);
    later();
}

QString TrayStatus::tipText(const QString &member, int running)
{
    QString tip = QStringLiteral("Voxlane");
    if (!member.isEmpty())
        tip += QStringLiteral(" - ") + member;
    if (running == 1)
        tip += QStringLiteral(" - 1 transfert en cours");
    else if (running > 1)
        tip += QStringLiteral(" - %1 transferts en cours").arg(running);
    return tip;
}

int TrayStatus::runningTransfers() const
{
    if (!m_transfers)
        return 0;
    int running = 0;
    for (const QList<TransferJob *> *jobs : { &m_transfers->downloads(), &m_transfers->uploads() }) {
        for (const TransferJob *job : *jobs) {
            if (job->isRunning())
                ++running;
        }
    }
    return running;
}

void TrayStatus::refresh()
{
    m_tipTimer->stop();
    const QString member = m_session && m_session->isConnected() ? m_session->currentPseudo() : QString();
    const QString tip = tipText(member, runningTransfers());
    if (tip == m_tip)
        return;
    m_tip = tip;
    emit toolTipChanged(tip);
}
