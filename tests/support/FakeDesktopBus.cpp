#include "support/FakeDesktopBus.h"

#include <QDBusMessage>

namespace {
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
} // namespace

FakeNotificationServer::FakeNotificationServer(const QDBusConnection &bus, const QStringList &capabilities)
    : m_bus(bus)
    , m_capabilities(capabilities)
{
    m_registered = m_bus.isConnected() && m_bus.registerObject(kNotificationsPath, this, QDBusConnection::ExportAllSlots)
        && m_bus.registerService(kNotifications);
}

FakeNotificationServer::~FakeNotificationServer()
{
    unregister();
}

void FakeNotificationServer::unregister()
{
    if (!m_registered)
        return;
    m_bus.unregisterService(kNotifications);
    m_bus.unregisterObject(kNotificationsPath);
    m_registered = false;
}

QStringList FakeNotificationServer::GetCapabilities()
{
    ++capabilityQuestions;
    return m_capabilities;
}

uint FakeNotificationServer::Notify(const QString &appName, uint replacesId, const QString &icon,
    const QString &summary, const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
{
    Sent s;
    s.id = ++m_lastId;
    s.appName = appName;
    s.replacesId = replacesId;
    s.icon = icon;
    s.summary = summary;
    s.body = body;
    s.actions = actions;
    s.hints = hints;
    s.timeout = timeout;
    sent.append(s);
    return s.id;
}

void FakeNotificationServer::CloseNotification(uint id)
{
    closedByClient.append(id);
    dismiss(id, 3);
}

void FakeNotificationServer::invoke(uint id, const QString &key)
{
    QDBusMessage signal = QDBusMessage::createSignal(kNotificationsPath, kNotifications, QStringLiteral("ActionInvoked"));
    signal << id << key;
    m_bus.send(signal);
}

void FakeNotificationServer::dismiss(uint id, uint reason)
{
    QDBusMessage signal
        = QDBusMessage::createSignal(kNotificationsPath, kNotifications, QStringLiteral("NotificationClosed"));
    signal << id << reason;
    m_bus.send(signal);
}

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(const QDBusConnection &bus, bool withHost)
    : m_bus(bus)
    , m_host(withHost)
{
    m_registered = m_bus.isConnected()
        && m_bus.registerObject(kWatcherPath, this,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                | QDBusConnection::ExportAllProperties)
        && m_bus.registerService(kWatcher);
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher()
{
    unregister();
}

void FakeStatusNotifierWatcher::unregister()
{
    if (!m_registered)
        return;
    m_bus.unregisterService(kWatcher);
    m_bus.unregisterObject(kWatcherPath);
    m_registered = false;
}

void FakeStatusNotifierWatcher::setHost(bool present)
{
    if (present == m_host)
        return;
    m_host = present;
    if (present)
        emit StatusNotifierHostRegistered();
    else
        emit StatusNotifierHostUnregistered();
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString &service)
{
    m_items << service;
    itemOwners << (calledFromDBus() ? message().service() : QString());
    emit StatusNotifierItemRegistered(service);
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierHost(const QString &)
{
    setHost(true);
}
