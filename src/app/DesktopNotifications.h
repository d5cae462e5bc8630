#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class ControlChannel;
class PopupNotifier;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class TransferJob;
class TransferManager;

// The desktop's own notifications (the freedesktop.org notification service
// on the session bus), besides our pop-ups: an offer, a finished or failed
// transfer and a contact coming online, while the user is not looking at the
// main window. The desktop keeps them in its history, and an offer carries
// "Accepter" and "Refuser" when the service can show actions.
//
// Every call is asynchronous: a service that is slow or hangs never holds
// the program up. Without a session bus, or without a notification service
// on it, nothing is sent and nothing is said.
//
// The answers to an offer are only asked for (offerAnswerWanted): whoever
// shows offers answers them, so that a notification answers exactly as the
// confirmation window does. A click on a notification's body asks the
// notifier for what the matching pop-up's click shows.
class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kAcceptAction = QStringLiteral("accepter");
    static inline const QString kRefuseAction = QStringLiteral("refuser");
    static inline const QString kSendAction = QStringLiteral("envoyer");
    static inline const QString kDefaultAction = QStringLiteral("default");
    // Notifications still on the desktop that we remember (for their
    // actions); the oldest is forgotten past this.
    static constexpr int kRemembered = 64;

    enum class Kind { Offer, DownloadDone, UploadDone, DownloadFailed, UploadFailed, ContactOnline };

    // On the session bus.
    explicit DesktopNotifications(PopupNotifier *notifier, QObject *parent = nullptr);
    // On the given bus (tests use a private one).
    DesktopNotifications(PopupNotifier *notifier, const QDBusConnection &bus, QObject *parent = nullptr);
    ~DesktopNotifications() override;

    // True while the user looks at the main window (shown, not minimised,
    // active): then the pop-ups are enough and nothing goes to the desktop.
    // Unset: the window is never taken as looked at.
    std::function<bool()> WindowAttended;

    // The offers made to this user, and the transfers as they are made.
    void watchChannel(ControlChannel *channel);
    void watchTransfers(TransferManager *transfers);

    // The events themselves (the watchers above call these).
    void offerMade(int offerId, const QString &pseudo, const QString &fileName, const QString &sizeText);
    void offerClosed(int offerId);
    void transferDone(bool download, const QString &pseudo, const QString &fileName);
    void transferFailed(bool download, const QString &pseudo, const QString &fileName, const QString &why);
    void contactOnline(const QString &pseudo);

    // What the notification service said it can do; empty until it answered.
    QStringList capabilities() const { return m_capabilities; }
    bool serviceAnswered() const { return m_capsKnown; }
    // Whether the service's notification serverId is one of ours still
    // waiting for a click.
    bool remembers(uint serverId) const { return m_onDesktop.contains(serverId); }

signals:
    // "Accepter" (accept) or "Refuser" of offer offerId's notification.
    void offerAnswerWanted(int offerId, bool accept);

private slots:
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Note
    {
        Kind kind = Kind::ContactOnline;
        int offerId = 0;
        QString pseudo;
        QString summary;
        QString body;
    };
    void init();
    void askCapabilities();
    void send(const Note &note);
    void notify(const Note &note);
    void forget(uint serverId);
    void closeOnDesktop(uint serverId);
    void followJob(TransferJob *job, bool upload);
    bool attended() const;

    PopupNotifier *m_notifier = nullptr;
    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcher = nullptr;
    QPointer<ControlChannel> m_channel;
    bool m_capsKnown = false;
    bool m_capsAsked = false;
    QStringList m_capabilities;
    QList<Note> m_waiting; // until the service says what it can do
    QHash<uint, Note> m_onDesktop; // by the service's id
    QList<uint> m_order; // the service's ids, oldest first
    QSet<int> m_closedOffers; // offers that ended while their Notify was under way
    QHash<const TransferJob *, QString> m_lastFailure;
};
