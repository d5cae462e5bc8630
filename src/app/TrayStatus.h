#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>

class QDBusServiceWatcher;
class QTimer;
class ServiceSession;
class TransferJob;
class TransferManager;

// What the notification-area icon says and how it is hosted.
//
// The tip: "Voxlane", then the member logged in and the transfers running,
// kept current as they change (toolTip, toolTipChanged).
//
// The host: a desktop whose notification area speaks the StatusNotifier
// protocol (KDE Plasma, GNOME's tray extension, most Wayland panels) reports
// a click on the icon as one activation and never a double click, while the
// older XEmbed areas report both. Qt uses StatusNotifier when the session
// bus has a StatusNotifier watcher with a host registered; we ask the same
// question, asynchronously, and again whenever the watcher comes or goes
// (statusNotifierHost, hostChanged), so that a single click can bring the
// window back where no double click ever comes.
class TrayStatus : public QObject
{
    Q_OBJECT

public:
    static inline const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
    // Changes of the tip are gathered for this long, so that a burst of
    // transfer events rewrites it once.
    static constexpr int kTipDelayMs = 200;

    // On the session bus.
    TrayStatus(ServiceSession *session, TransferManager *transfers, QObject *parent = nullptr);
    // On the given bus (tests use a private one).
    TrayStatus(ServiceSession *session, TransferManager *transfers, const QDBusConnection &bus,
        QObject *parent = nullptr);
    ~TrayStatus() override;

    // "Voxlane", "Voxlane - alice", "Voxlane - alice - 1 transfert en cours",
    // "Voxlane - alice - 3 transferts en cours".
    static QString tipText(const QString &member, int running);

    QString toolTip() const { return m_tip; }
    int runningTransfers() const;
    bool statusNotifierHost() const { return m_sniHost; }

    // The tip from the current state, at once.
    void refresh();

signals:
    void toolTipChanged(const QString &tip);
    void hostChanged(bool statusNotifierHost);

private slots:
    void askHost();

private:
    void init();
    void setHost(bool sni);
    void followJob(TransferJob *job);

    QPointer<ServiceSession> m_session;
    QPointer<TransferManager> m_transfers;
    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcher = nullptr;
    QTimer *m_tipTimer = nullptr;
    QString m_tip;
    bool m_sniHost = false;
    int m_hostQuestion = 0; // the last question asked; older answers are stale
};
