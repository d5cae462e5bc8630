#include "app/DesktopNotifications.h"

#include "app/PopupNotifier.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ControlMessage.h"
#include "transfer/SizeText.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFileInfo>

namespace {

QString transferFileName(const TransferJob *job, bool upload)
{
    const QString fromPath = QFileInfo(job->FichierPath()).fileName();
    if (upload)
        return fromPath.isEmpty() ? job->FichierName() : fromPath;
    return job->FichierName().isEmpty() ? fromPath : job->FichierName();
}

// A stop that no new attempt mends: the user has something to do about it.
bool isFailure(const QString &caption)
{
    return caption == TransferJob::verificationFailedText() || caption == TransferJob::noSpaceText()
        || (!caption.isEmpty() && caption.startsWith(TransferJob::placeFailedText(QString())));
}

} // namespace

DesktopNotifications::DesktopNotifications(PopupNotifier *notifier, QObject *parent)
    : DesktopNotifications(notifier, QDBusConnection::sessionBus(), parent)
{
}

DesktopNotifications::DesktopNotifications(PopupNotifier *notifier, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_bus(bus)
{
    setObjectName(QStringLiteral("DesktopNotifications"));
    if (m_notifier)
        connect(m_notifier, &PopupNotifier::contactCameOnline, this, &DesktopNotifications::contactOnline);
    init();
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::init()
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
        SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
        SLOT(onNotificationClosed(uint, uint)));
    // A service that starts (again) or goes knows nothing of what we sent:
    // what it can do is asked afresh.
    m_watcher = new QDBusServiceWatcher(kService, m_bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        m_capsKnown = false;
        askCapabilities();
    });
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_capsKnown = false;
        m_capabilities.clear();
        m_onDesktop.clear();
        m_order.clear();
    });
    askCapabilities();
}

void DesktopNotifications::askCapabilities()
{
    if (!m_bus.isConnected() || m_capsAsked)
        return;
    m_capsAsked = true;
    const QDBusMessage call
        = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto *watch = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watch, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        m_capsAsked = false;
        const QDBusPendingReply<QStringList> reply = *w;
        const QList<Note> waiting = std::exchange(m_waiting, {});
        if (reply.isError()) {
            // No notification service: the events that waited for it go.
            m_capsKnown = false;
            return;
        }
        m_capsKnown = true;
        m_capabilities = reply.value();
        for (const Note &note : waiting)
            notify(note);
    });
}

bool DesktopNotifications::attended() const
{
    return WindowAttended && WindowAttended();
}

void DesktopNotifications::send(const Note &note)
{
    if (!m_bus.isConnected() || attended())
        return;
    if (m_capsKnown) {
        notify(note);
        return;
    }
    if (m_waiting.size() < kRemembered)
        m_waiting.append(note);
    askCapabilities();
}

void DesktopNotifications::notify(const Note &note)
{
    if (note.kind == Kind::Offer && m_closedOffers.contains(note.offerId))
        return;
    const bool withActions = m_capabilities.contains(QStringLiteral("actions"));
    QStringList actions;
    if (withActions) {
        if (note.kind == Kind::Offer) {
            actions << kDefaultAction << QStringLiteral("Afficher") << kRefuseAction << QStringLiteral("Refuser")
                    << kAcceptAction << QStringLiteral("Accepter");
        } else if (note.kind == Kind::ContactOnline) {
            actions << kSendAction << QStringLiteral("Envoyer un fichier");
        } else {
            actions << kDefaultAction << QStringLiteral("Afficher");
        }
    }
    // Names and file names come from other members: on a service that reads
    // the body as markup they are shown as typed, never as markup.
    const QString body = m_capabilities.contains(QStringLiteral("body-markup")) ? note.body.toHtmlEscaped()
                                                                                : note.body;
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("voxlane"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(note.kind == Kind::Offer ? 2 : 1)));
    switch (note.kind) {
    case Kind::Offer:
        hints.insert(QStringLiteral("category"), QStringLiteral("transfer"));
        break;
    case Kind::DownloadDone:
    case Kind::UploadDone:
        hints.insert(QStringLiteral("category"), QStringLiteral("transfer.complete"));
        break;
    case Kind::DownloadFailed:
    case Kind::UploadFailed:
        hints.insert(QStringLiteral("category"), QStringLiteral("transfer.error"));
        break;
    case Kind::ContactOnline:
        hints.insert(QStringLiteral("category"), QStringLiteral("presence.online"));
        break;
    }

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Voxlane") << uint(0) << QStringLiteral("voxlane") << note.summary << body << actions
         << hints << int(-1);
    auto *watch = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watch, &QDBusPendingCallWatcher::finished, this, [this, note](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            return;
        const uint serverId = reply.value();
        if (note.kind == Kind::Offer && m_closedOffers.remove(note.offerId)) {
            // The offer ended while the notification was on its way.
            closeOnDesktop(serverId);
            return;
        }
        forget(serverId);
        m_onDesktop.insert(serverId, note);
        m_order.append(serverId);
        while (m_order.size() > kRemembered)
            m_onDesktop.remove(m_order.takeFirst());
    });
}

void DesktopNotifications::forget(uint serverId)
{
    m_onDesktop.remove(serverId);
    m_order.removeAll(serverId);
}

void DesktopNotifications::closeOnDesktop(uint serverId)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
    call << serverId;
    m_bus.asyncCall(call);
}

// --- events -------------------------------------------------------------------

void DesktopNotifications::offerMade(
    int offerId, const QString &pseudo, const QString &fileName, const QString &sizeText)
{
    Note note;
    note.kind = Kind::Offer;
    note.offerId = offerId;
    note.pseudo = pseudo;
    note.summary = QStringLiteral("Fichier proposé par ") + pseudo;
    note.body = sizeText.isEmpty() ? fileName : fileName + QStringLiteral(" (") + sizeText + QStringLiteral(")");
    m_closedOffers.remove(offerId);
    send(note);
}

void DesktopNotifications::offerClosed(int offerId)
{
    for (auto it = m_onDesktop.cbegin(); it != m_onDesktop.cend(); ++it) {
        if (it->kind == Kind::Offer && it->offerId == offerId) {
            const uint serverId = it.key();
            forget(serverId);
            closeOnDesktop(serverId);
            return;
        }
    }
    // Not on the desktop (yet): a Notify under way, or waiting for the
    // service's capabilities.
    const qsizetype before = m_waiting.size();
    m_waiting.removeIf([offerId](const Note &n) { return n.kind == Kind::Offer && n.offerId == offerId; });
    if (m_waiting.size() == before && m_closedOffers.size() < kRemembered)
        m_closedOffers.insert(offerId);
}

void DesktopNotifications::transferDone(bool download, const QString &pseudo, const QString &fileName)
{
    Note note;
    note.kind = download ? Kind::DownloadDone : Kind::UploadDone;
    note.pseudo = pseudo;
    note.summary = download ? QStringLiteral("Téléchargement terminé") : QStringLiteral("Envoi terminé");
    note.body = fileName + (download ? QStringLiteral(", reçu de ") : QStringLiteral(", envoyé à ")) + pseudo;
    send(note);
}

void DesktopNotifications::transferFailed(
    bool download, const QString &pseudo, const QString &fileName, const QString &why)
{
    Note note;
    note.kind = download ? Kind::DownloadFailed : Kind::UploadFailed;
    note.pseudo = pseudo;
    note.summary = download ? QStringLiteral("Téléchargement échoué") : QStringLiteral("Envoi échoué");
    note.body = fileName + QStringLiteral(" (") + pseudo + QStringLiteral(") : ") + why;
    send(note);
}

void DesktopNotifications::contactOnline(const QString &pseudo)
{
    Note note;
    note.kind = Kind::ContactOnline;
    note.pseudo = pseudo;
    note.summary = pseudo + QStringLiteral(" vient de se connecter");
    send(note);
}

// --- what the desktop reports ----------------------------------------------------

void DesktopNotifications::onActionInvoked(uint id, const QString &actionKey)
{
    const auto it = m_onDesktop.constFind(id);
    if (it == m_onDesktop.cend())
        return;
    const Note note = *it;
    if (note.kind == Kind::Offer) {
        if (actionKey == kAcceptAction || actionKey == kRefuseAction) {
            forget(id);
            if (!m_channel || m_channel->OfferAwaitingAnswer(note.offerId))
                emit offerAnswerWanted(note.offerId, actionKey == kAcceptAction);
        } else if (actionKey == kDefaultAction && m_notifier) {
            m_notifier->showReception();
        }
        return;
    }
    if (!m_notifier)
        return;
    if (note.kind == Kind::ContactOnline) {
        if (actionKey == kSendAction)
            m_notifier->sendFileTo(note.pseudo);
    } else if (actionKey == kDefaultAction) {
        if (note.kind == Kind::DownloadDone || note.kind == Kind::DownloadFailed)
            m_notifier->showDownloads();
        else
            m_notifier->showUploads();
    }
}

void DesktopNotifications::onNotificationClosed(uint id, uint)
{
    forget(id);
}

// --- the controllers watched -----------------------------------------------------

void DesktopNotifications::watchChannel(ControlChannel *channel)
{
    m_channel = channel;
    if (!channel)
        return;
    connect(channel, &ControlChannel::OfferPopup, this, [this](int id, const QString &pseudo, const QString &) {
        if (!m_channel)
            return;
        for (const ControlChannel::IncomingOffer &offer : m_channel->openOffers()) {
            if (offer.id != id)
                continue;
            const auto size = ControlMessage::offerSize(offer.size);
            offerMade(id, pseudo, offer.fileName, size ? SizeText::FormatSize(*size) : QString());
            return;
        }
    });
    connect(channel, &ControlChannel::OfferClosed, this, &DesktopNotifications::offerClosed);
}

void DesktopNotifications::watchTransfers(TransferManager *transfers)
{
    if (transfers)
        connect(transfers, &TransferManager::JobFollowed, this, &DesktopNotifications::followJob);
}

void DesktopNotifications::followJob(TransferJob *job, bool upload)
{
    if (!job)
        return;
    const QPointer<TransferJob> guard(job);
    connect(job, &TransferJob::OnTelTermine, this, [this, guard, upload] {
        if (!guard)
            return;
        m_lastFailure.remove(guard.data());
        transferDone(!upload, guard->FichierProprio(), transferFileName(guard, upload));
    });
    const auto failed = [this, guard, upload](const QString &why) {
        if (!guard || m_lastFailure.value(guard.data()) == why)
            return; // told already
        m_lastFailure.insert(guard.data(), why);
        transferFailed(!upload, guard->FichierProprio(), transferFileName(guard, upload), why);
    };
    connect(job, &TransferJob::cancelledByPeer, this,
        [guard, failed] {
            if (guard)
                failed(TransferJob::cancelledText(guard->FichierProprio()));
        });
    connect(job, &TransferJob::stopped, this, [failed](const QString &caption) {
        if (isFailure(caption))
            failed(caption);
    });
    connect(job, &QObject::destroyed, this, [this, job] { m_lastFailure.remove(job); });
}
