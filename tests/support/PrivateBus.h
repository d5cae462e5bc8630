#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A D-Bus session bus of the test's own (dbus-daemon), so that nothing of
// the desktop the tests run on is seen or disturbed: no service is started
// on demand, and anyone may own any name. started() is false when
// dbus-daemon is not installed or did not come up.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool started() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A new connection to the bus, closed when the bus object goes.
    QDBusConnection connect();

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};
