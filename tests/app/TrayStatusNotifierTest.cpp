// The real program's tray icon on a StatusNotifier host: the program runs
// on an X server of the test's own (Xvfb) with a private session bus whose
// StatusNotifier watcher is ours, as on a KDE or GNOME desktop whose panel
// speaks that protocol. Its icon must register there, carry its tip, and
// publish the tray menu for the panel to show.
#include "support/EventWait.h"
#include "support/FakeDesktopBus.h"
#include "support/MainWindowFixture.h"
#include "support/PrivateBus.h"
#include "support/Timing.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000 * kTimeScale;

// The labels of a dbusmenu layout, depth first: (i a{sv} av).
void collectLabels(const QDBusArgument &node, QStringList &labels)
{
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    if (properties.contains(QStringLiteral("label")))
        labels << properties.value(QStringLiteral("label")).toString();
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        collectLabels(child.variant().value<QDBusArgument>(), labels);
    }
    node.endArray();
    node.endStructure();
}

// The title of a StatusNotifier tool tip: (s a(iiay) s s).
QString toolTipTitle(const QDBusArgument &tip)
{
    QString iconName, title, text;
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    while (!tip.atEnd()) {
        int w = 0, h = 0;
        QByteArray bytes;
        tip.beginStructure();
        tip >> w >> h >> bytes;
        tip.endStructure();
    }
    tip.endArray();
    tip >> title >> text;
    tip.endStructure();
    return title;
}

class StatusNotifierHost : public testing::Test
{
protected:
    ~StatusNotifierHost() override
    {
        for (QProcess *p : { &program, &xserver }) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(10000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    // An X server on a display number nobody uses; false when none starts.
    bool startXServer()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return false;
        for (int n = 200 + getpid() % 300, tries = 0; tries < 20; ++n, ++tries) {
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
            if (QFile::exists(socket) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            xserver.start(xvfb, { QStringLiteral(":%1").arg(n), QStringLiteral("-screen"), QStringLiteral("0"),
                                    QStringLiteral("800x600x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp") });
            if (!xserver.waitForStarted(10000))
                return false;
            if (waitUntil([&] { return QFile::exists(socket) || xserver.state() == QProcess::NotRunning; }, kWaitMs)
                && xserver.state() == QProcess::Running) {
                display = QStringLiteral(":%1").arg(n);
                return true;
            }
            xserver.waitForFinished(5000);
        }
        return false;
    }

    QVariant property(const QString &service, const QString &path, const QString &interface, const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << interface << name;
        const QDBusMessage reply = client.call(get, QDBus::Block, kWaitMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().at(0).value<QDBusVariant>().variant();
    }

    PrivateBus bus;
    QDBusConnection client { QString() };
    QProcess xserver;
    QProcess program;
    QString display;
    QTemporaryDir home;
};

TEST_F(StatusNotifierHost, TheIconRegistersWithItsTipAndPublishesTheTrayMenu)
{
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    if (!startXServer())
        GTEST_SKIP() << "no X server for the program (Debian package xvfb)";
    client = bus.connect();
    FakeStatusNotifierWatcher watcher(bus.connect(), true);
    ASSERT_TRUE(watcher.registered());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    env.insert(QStringLiteral("VOXLANE_HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("VOXLANE_LOCAL_IP"), MainWindowFixture::uniqueLoopbackAddress(7));
    env.insert(QStringLiteral("VOXLANE_SERVICE_URL"), QStringLiteral("http://127.0.0.1:1"));
    env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    env.remove(QStringLiteral("QT_QPA_PLATFORMTHEME"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(VOXLANE_CLIENT_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    ASSERT_TRUE(waitUntil([&] { return !watcher.items().isEmpty(); }, kWaitMs))
        << program.readAll().toStdString();
    // The item is named by its bus name (Qt's "org.kde.StatusNotifierItem-PID-N"),
    // at the protocol's fixed path.
    QString item = watcher.items().first();
    QString path = QStringLiteral("/StatusNotifierItem");
    if (item.startsWith(u'/')) {
        path = item;
        item = watcher.itemOwners.first();
    }
    const QString sni = QStringLiteral("org.kde.StatusNotifierItem");

    const QVariant tip = property(item, path, sni, QStringLiteral("ToolTip"));
    ASSERT_TRUE(tip.canConvert<QDBusArgument>());
    EXPECT_EQ(toolTipTitle(tip.value<QDBusArgument>()), QStringLiteral("Voxlane"));

    const QVariant menu = property(item, path, sni, QStringLiteral("Menu"));
    ASSERT_TRUE(menu.canConvert<QDBusObjectPath>());
    const QString menuPath = menu.value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());
    QDBusMessage layout = QDBusMessage::createMethodCall(
        item, menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
    layout << 0 << -1 << QStringList();
    const QDBusMessage reply = client.call(layout, QDBus::Block, kWaitMs);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    ASSERT_EQ(reply.arguments().size(), 2);
    QStringList labels;
    collectLabels(reply.arguments().at(1).value<QDBusArgument>(), labels);
    EXPECT_TRUE(labels.contains(QStringLiteral("Ouvrir Voxlane"))) << labels.join(u'|').toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Pas de lecture"))) << labels.join(u'|').toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Quitter"))) << labels.join(u'|').toStdString();
}

} // namespace
