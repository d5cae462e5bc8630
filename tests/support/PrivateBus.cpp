#include "support/PrivateBus.h"

#include <QFile>
#include <QStandardPaths>

#include <atomic>

PrivateBus::PrivateBus()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty() || !m_dir.isValid())
        return;
    // No service folders: nothing is started on demand, whatever the
    // machine has installed.
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig>\n"
                 "  <type>session</type>\n"
                 "  <listen>unix:tmpdir=" + m_dir.path().toUtf8() + "</listen>\n"
                 "  <auth>EXTERNAL</auth>\n"
                 "  <policy context=\"default\">\n"
                 "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                 "    <allow eavesdrop=\"true\"/>\n"
                 "    <allow own=\"*\"/>\n"
                 "  </policy>\n"
                 "</busconfig>\n");
    config.close();
    m_daemon.setProgram(daemon);
    m_daemon.setArguments({ QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
        QStringLiteral("--print-address=1") });
    m_daemon.start();
    if (!m_daemon.waitForStarted(10000))
        return;
    QByteArray line;
    while (!line.contains('\n') && m_daemon.waitForReadyRead(10000))
        line += m_daemon.readAllStandardOutput();
    m_address = QString::fromUtf8(line).trimmed();
}

PrivateBus::~PrivateBus()
{
    for (const QString &name : std::as_const(m_connections))
        QDBusConnection::disconnectFromBus(name);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }
}

QDBusConnection PrivateBus::connect()
{
    static std::atomic<int> counter { 0 };
    const QString name = QStringLiteral("voxlane-test-bus-%1").arg(++counter);
    m_connections << name;
    return QDBusConnection::connectToBus(m_address, name);
}
