#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A desktop's notification service on a test bus: it records every
// notification it is sent and plays the user's clicks.
class FakeNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Sent
    {
        uint id = 0;
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };

    // Registers as org.freedesktop.Notifications on bus; registered() tells.
    FakeNotificationServer(const QDBusConnection &bus, const QStringList &capabilities);
    ~FakeNotificationServer() override;
    bool registered() const { return m_registered; }
    // Gives the name up, as a service that stops.
    void unregister();

    QList<Sent> sent;
    QList<uint> closedByClient;
    int capabilityQuestions = 0;

    // The user clicked action key of notification id.
    void invoke(uint id, const QString &key);
    // The notification went (reason 1: expired, 2: dismissed).
    void dismiss(uint id, uint reason = 2);

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
        const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout);
    void CloseNotification(uint id);

private:
    QDBusConnection m_bus;
    QStringList m_capabilities;
    bool m_registered = false;
    uint m_lastId = 0;
};

// A StatusNotifier watcher on a test bus, with or without a host: what a
// desktop's notification area registers its icons with.
class FakeStatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    FakeStatusNotifierWatcher(const QDBusConnection &bus, bool withHost);
    ~FakeStatusNotifierWatcher() override;
    bool registered() const { return m_registered; }
    void unregister();

    bool hostRegistered() const { return m_host; }
    // A host registers (or goes), as a panel that starts or stops.
    void setHost(bool present);
    QStringList items() const { return m_items; }
    int protocolVersion() const { return 0; }
    // For each item registered: the bus name of the caller that registered it.
    QStringList itemOwners;

public slots:
    void RegisterStatusNotifierItem(const QString &service);
    void RegisterStatusNotifierHost(const QString &service);

signals:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    QDBusConnection m_bus;
    bool m_host = false;
    bool m_registered = false;
    QStringList m_items;
};
