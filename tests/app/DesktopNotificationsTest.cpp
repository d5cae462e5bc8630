// The desktop's notifications against a notification service of our own on
// a private session bus: what is sent for each event, when nothing is, and
// what the user's clicks on a notification do, up to the offer's answer on
// the control channel.
#include "app/DesktopNotifications.h"
#include "app/PopupNotifier.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"

#include "negotiation/ControlPeer.h"
#include "support/EventWait.h"
#include "support/FakeDesktopBus.h"
#include "support/MainWindowFixture.h"
#include "support/PrivateBus.h"
#include "support/QtPrinters.h"
#include "support/Timing.h"

#include <QDBusMessage>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kWaitMs = 5000 * kTimeScale;

const QStringList kOfferActions { "default", "Afficher", "refuser", "Refuser", "accepter", "Accepter" };

// A bus, the service on its own connection, and the notifications on
// another, as the program and the desktop would be.
class DesktopBus
{
public:
    explicit DesktopBus(const QStringList &capabilities)
        : server(serverSide(), capabilities)
        , notifications(&notifier, bus.started() ? bus.connect() : QDBusConnection(QString()))
    {
    }

    bool ready() const { return bus.started() && server.registered(); }
    // Waits until the service has received count notifications in all.
    bool received(qsizetype count)
    {
        return waitUntil([&] { return server.sent.size() >= count; }, kWaitMs);
    }
    // Lets every call under way be answered (the bus round trip).
    void settle()
    {
        QDBusConnection probe = bus.connect();
        probe.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
        waitUntil([] { return false; }, 50);
    }

    PrivateBus bus;
    FakeNotificationServer server;
    PopupNotifier notifier;
    DesktopNotifications notifications;

private:
    QDBusConnection serverSide() { return bus.started() ? bus.connect() : QDBusConnection(QString()); }
};

#define REQUIRE_BUS(desktop)                                                                                  \
    if (!(desktop).bus.started())                                                                             \
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";                          \
    ASSERT_TRUE((desktop).server.registered())

TEST(DesktopNotifications, AnOfferCarriesItsAnswersWhereTheServiceShowsActionsAndNeverReadsMarkup)
{
    struct Case
    {
        QStringList capabilities;
        QStringList actions;
        QString body;
    };
    const QList<Case> cases {
        { { "actions", "body" }, kOfferActions, "<b>photo</b>.jpg (1.9 Mo)" },
        { { "body", "body-markup" }, {}, "&lt;b&gt;photo&lt;/b&gt;.jpg (1.9 Mo)" },
        { {}, {}, "<b>photo</b>.jpg (1.9 Mo)" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.capabilities.join(u',').toStdString());
        DesktopBus desktop(c.capabilities);
        REQUIRE_BUS(desktop);
        desktop.notifications.offerMade(7, QStringLiteral("Zoé"), QStringLiteral("<b>photo</b>.jpg"),
            QStringLiteral("1.9 Mo"));
        ASSERT_TRUE(desktop.received(1));
        const FakeNotificationServer::Sent &s = desktop.server.sent.at(0);
        EXPECT_EQ(s.appName, QStringLiteral("Voxlane"));
        EXPECT_EQ(s.icon, QStringLiteral("voxlane"));
        EXPECT_EQ(s.summary, QStringLiteral("Fichier proposé par Zoé"));
        EXPECT_EQ(s.body, c.body);
        EXPECT_EQ(s.actions, c.actions);
        EXPECT_EQ(s.hints.value("category").toString(), QStringLiteral("transfer"));
        EXPECT_EQ(s.hints.value("desktop-entry").toString(), QStringLiteral("voxlane"));
        EXPECT_EQ(s.hints.value("urgency").toInt(), 2);
        EXPECT_EQ(s.replacesId, 0u);
        EXPECT_EQ(s.timeout, -1);
        EXPECT_EQ(desktop.server.capabilityQuestions, 1);
    }
}

TEST(DesktopNotifications, FinishedAndFailedTransfersAndContactsComingOnlineAreSent)
{
    DesktopBus desktop({ "actions", "body" });
    REQUIRE_BUS(desktop);
    DesktopNotifications &n = desktop.notifications;
    n.transferDone(true, QStringLiteral("bob"), QStringLiteral("a.txt"));
    n.transferDone(false, QStringLiteral("bob"), QStringLiteral("b.txt"));
    n.transferFailed(true, QStringLiteral("bob"), QStringLiteral("c.txt"), QStringLiteral("Disque plein"));
    n.transferFailed(false, QStringLiteral("bob"), QStringLiteral("d.txt"), QStringLiteral("Annulé par bob"));
    // The pop-up's announcement reaches the desktop through the notifier.
    desktop.notifier.contactOnline(QStringLiteral("carol"));
    ASSERT_TRUE(desktop.received(5));

    struct Expected
    {
        const char *summary;
        const char *body;
        const char *category;
        QStringList actions;
    };
    const QStringList open { "default", "Afficher" };
    const QList<Expected> expected {
        { "Téléchargement terminé", "a.txt, reçu de bob", "transfer.complete", open },
        { "Envoi terminé", "b.txt, envoyé à bob", "transfer.complete", open },
        { "Téléchargement échoué", "c.txt (bob) : Disque plein", "transfer.error", open },
        { "Envoi échoué", "d.txt (bob) : Annulé par bob", "transfer.error", open },
        { "carol vient de se connecter", "", "presence.online", { "envoyer", "Envoyer un fichier" } },
    };
    ASSERT_EQ(desktop.server.sent.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const FakeNotificationServer::Sent &s = desktop.server.sent.at(i);
        EXPECT_EQ(s.summary, QString::fromUtf8(expected[i].summary)) << i;
        EXPECT_EQ(s.body, QString::fromUtf8(expected[i].body)) << i;
        EXPECT_EQ(s.hints.value("category").toString(), QString::fromUtf8(expected[i].category)) << i;
        EXPECT_EQ(s.hints.value("urgency").toInt(), 1) << i;
        EXPECT_EQ(s.actions, expected[i].actions) << i;
    }
}

TEST(DesktopNotifications, NothingGoesWhileTheUserLooksAtTheWindow)
{
    DesktopBus desktop({ "actions" });
    REQUIRE_BUS(desktop);
    bool attended = true;
    desktop.notifications.WindowAttended = [&] { return attended; };
    desktop.notifications.contactOnline(QStringLiteral("carol"));
    desktop.notifications.offerMade(1, QStringLiteral("carol"), QStringLiteral("x"), QStringLiteral("1 Ko"));
    desktop.settle();
    EXPECT_TRUE(desktop.server.sent.isEmpty());

    attended = false;
    desktop.notifications.contactOnline(QStringLiteral("dan"));
    ASSERT_TRUE(desktop.received(1));
    EXPECT_EQ(desktop.server.sent.at(0).summary, QStringLiteral("dan vient de se connecter"));
}

TEST(DesktopNotifications, ClicksOnANotificationAskForTheOfferAnswerOrWhatThePopUpWouldShow)
{
    DesktopBus desktop({ "actions" });
    REQUIRE_BUS(desktop);
    DesktopNotifications &n = desktop.notifications;
    QSignalSpy answers(&n, &DesktopNotifications::offerAnswerWanted);
    QStringList heard;
    QObject::connect(&desktop.notifier, &PopupNotifier::downloadsWanted, &n, [&] { heard << "downloads"; });
    QObject::connect(&desktop.notifier, &PopupNotifier::uploadsWanted, &n, [&] { heard << "uploads"; });
    QObject::connect(&desktop.notifier, &PopupNotifier::receptionWanted, &n, [&] { heard << "reception"; });
    QObject::connect(&desktop.notifier, &PopupNotifier::sendFileWanted, &n,
        [&](const QString &pseudo) { heard << "send " + pseudo; });

    n.offerMade(7, QStringLiteral("alice"), QStringLiteral("a"), QStringLiteral("1 Ko"));
    n.offerMade(8, QStringLiteral("bob"), QStringLiteral("b"), QStringLiteral("1 Ko"));
    n.transferDone(true, QStringLiteral("bob"), QStringLiteral("c"));
    n.transferFailed(false, QStringLiteral("bob"), QStringLiteral("d"), QStringLiteral("Disque plein"));
    n.contactOnline(QStringLiteral("Zoé"));
    ASSERT_TRUE(desktop.received(5));
    const auto id = [&](int i) { return desktop.server.sent.at(i).id; };
    ASSERT_TRUE(waitUntil([&] { return n.remembers(id(0)) && n.remembers(id(4)); }, kWaitMs));

    desktop.server.invoke(id(0), QStringLiteral("default"));
    desktop.server.invoke(id(0), QStringLiteral("accepter"));
    desktop.server.invoke(id(1), QStringLiteral("refuser"));
    desktop.server.invoke(id(0), QStringLiteral("refuser")); // answered already: nothing more
    desktop.server.invoke(id(2), QStringLiteral("default"));
    desktop.server.invoke(id(3), QStringLiteral("default"));
    desktop.server.invoke(id(4), QStringLiteral("envoyer"));
    desktop.server.invoke(999, QStringLiteral("accepter")); // not ours
    ASSERT_TRUE(waitUntil([&] { return heard.size() >= 4; }, kWaitMs));
    desktop.settle();

    ASSERT_EQ(answers.size(), 2);
    EXPECT_EQ(answers.at(0), (QVariantList { 7, true }));
    EXPECT_EQ(answers.at(1), (QVariantList { 8, false }));
    EXPECT_EQ(heard, (QStringList { "reception", "downloads", "uploads", "send Zoé" }));

    // A notification the desktop closed answers nothing any more.
    n.offerMade(9, QStringLiteral("carol"), QStringLiteral("e"), QStringLiteral("1 Ko"));
    ASSERT_TRUE(desktop.received(6));
    ASSERT_TRUE(waitUntil([&] { return n.remembers(id(5)); }, kWaitMs));
    desktop.server.dismiss(id(5), 1);
    ASSERT_TRUE(waitUntil([&] { return !n.remembers(id(5)); }, kWaitMs));
    desktop.server.invoke(id(5), QStringLiteral("accepter"));
    desktop.settle();
    EXPECT_EQ(answers.size(), 2);
}

TEST(DesktopNotifications, AnOfferThatEndsTakesItsNotificationAwayEvenWhileItIsOnItsWay)
{
    DesktopBus desktop({ "actions" });
    REQUIRE_BUS(desktop);
    DesktopNotifications &n = desktop.notifications;
    // Closed once it is on the desktop.
    n.offerMade(1, QStringLiteral("alice"), QStringLiteral("a"), QStringLiteral("1 Ko"));
    ASSERT_TRUE(desktop.received(1));
    ASSERT_TRUE(waitUntil([&] { return n.remembers(desktop.server.sent.at(0).id); }, kWaitMs));
    n.offerClosed(1);
    ASSERT_TRUE(waitUntil([&] { return desktop.server.closedByClient.size() == 1; }, kWaitMs));
    EXPECT_EQ(desktop.server.closedByClient.at(0), desktop.server.sent.at(0).id);

    // Closed before the service answered the Notify call.
    n.offerMade(2, QStringLiteral("bob"), QStringLiteral("b"), QStringLiteral("1 Ko"));
    n.offerClosed(2);
    ASSERT_TRUE(waitUntil([&] { return desktop.server.closedByClient.size() == 2; }, kWaitMs));
    ASSERT_EQ(desktop.server.sent.size(), 2);
    EXPECT_EQ(desktop.server.closedByClient.at(1), desktop.server.sent.at(1).id);
}

TEST(DesktopNotifications, WithoutABusOrAServiceNothingIsSentAndNothingWaits)
{
    // No bus at all.
    PopupNotifier notifier;
    DesktopNotifications offline(&notifier, QDBusConnection(QStringLiteral("no-such-connection")));
    offline.offerMade(1, QStringLiteral("alice"), QStringLiteral("a"), QStringLiteral("1 Ko"));
    offline.contactOnline(QStringLiteral("alice"));
    offline.offerClosed(1);
    EXPECT_FALSE(offline.serviceAnswered());

    // A bus without a notification service: the events go; a service that
    // starts later gets the next ones.
    PrivateBus bus;
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    DesktopNotifications notifications(&notifier, bus.connect());
    notifications.contactOnline(QStringLiteral("alice"));
    waitUntil([] { return false; }, 100);
    EXPECT_FALSE(notifications.serviceAnswered());

    FakeNotificationServer server(bus.connect(), { "actions" });
    ASSERT_TRUE(server.registered());
    ASSERT_TRUE(waitUntil([&] { return notifications.serviceAnswered(); }, kWaitMs));
    EXPECT_TRUE(server.sent.isEmpty());
    notifications.contactOnline(QStringLiteral("bob"));
    ASSERT_TRUE(waitUntil([&] { return server.sent.size() == 1; }, kWaitMs));
    EXPECT_EQ(server.sent.at(0).summary, QStringLiteral("bob vient de se connecter"));
}

// The whole way: an offer reaches the main window's channel, the desktop
// shows it, and its buttons answer on the control connection as the
// confirmation window's do.
class DesktopOffer : public MainWindowFixture
{
protected:
    DesktopOffer()
        : server(bus.started() ? bus.connect() : QDBusConnection(QString()), { "actions", "body" })
    {
    }

    TestClient &start()
    {
        desktopBus = [this] { return bus.connect(); };
        TestClient &w = createWindow();
        reception = w.reception;
        reception->Flash = nullptr;
        notifications = &w.controllers().desktopNotifications();
        return w;
    }

    // An offer from a peer of its own; waits for its notification.
    void offer(ControlPeer &peer, const QByteArray &from, const QByteArray &pseudo, const QByteArray &file)
    {
        const qsizetype before = server.sent.size();
        ASSERT_TRUE(peer.connectTo(environment.localIp, QString::fromLatin1(from)));
        peer.send(askBytes(pseudo, file, "2048", "10.0.0.9"));
        ASSERT_TRUE(waitUntil([&] { return server.sent.size() > before; }, kWaitMs));
        ASSERT_TRUE(waitUntil([&] { return notifications->remembers(server.sent.last().id); }, kWaitMs));
    }

    PrivateBus bus;
    FakeNotificationServer server;
    TfrmReception *reception = nullptr;
    DesktopNotifications *notifications = nullptr;
};

TEST_F(DesktopOffer, AccepterAndRefuserAnswerTheOfferOnItsConnection)
{
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    ASSERT_TRUE(server.registered());
    TestClient &w = start();

    ControlPeer alice;
    offer(alice, "127.250.0.1", "alice", "clip.avi");
    const FakeNotificationServer::Sent first = server.sent.last();
    EXPECT_EQ(first.summary, QStringLiteral("Fichier proposé par alice"));
    EXPECT_EQ(first.body, QStringLiteral("clip.avi (2 Ko)"));
    EXPECT_EQ(first.actions, kOfferActions);

    // Bob's offer waits behind alice's for the confirmation window; it is
    // accepted from the desktop first, and saved once the window has it.
    ControlPeer bob;
    offer(bob, "127.250.0.2", "bob", "notes.txt");
    const FakeNotificationServer::Sent second = server.sent.last();
    dialogs.fileNames.enqueue(home.filePath(QStringLiteral("notes.txt")));
    server.invoke(second.id, QStringLiteral("accepter"));
    ASSERT_TRUE(waitUntil([&] { return !notifications->remembers(second.id); }, kWaitMs));
    EXPECT_TRUE(dialogs.fileDialogs.isEmpty()); // not yet: alice's is on show

    dialogs.fileNames.prepend(home.filePath(QStringLiteral("ici.avi")));
    server.invoke(first.id, QStringLiteral("accepter"));
    EXPECT_EQ(alice.expect("{oui}\x05"), QByteArray("{oui}\x05"));
    EXPECT_EQ(bob.expect("{oui}\x05"), QByteArray("{oui}\x05"));
    ASSERT_EQ(dialogs.fileDialogs.size(), 2);
    EXPECT_EQ(dialogs.fileDialogs.at(0).at(2), QStringLiteral("clip.avi"));
    EXPECT_EQ(dialogs.fileDialogs.at(1).at(2), QStringLiteral("notes.txt"));
    const QList<ControlChannel::IncomingOffer> open = w.control().openOffers();
    ASSERT_EQ(open.size(), 2);
    EXPECT_EQ(open.at(0).savePath, home.filePath(QStringLiteral("ici.avi")));
    EXPECT_EQ(open.at(1).savePath, home.filePath(QStringLiteral("notes.txt")));
    EXPECT_FALSE(reception->isVisible());

    ControlPeer carol;
    offer(carol, "127.250.0.3", "carol", "virus.exe");
    server.invoke(server.sent.last().id, QStringLiteral("refuser"));
    EXPECT_EQ(carol.expect("{non}\x05"), QByteArray("{non}\x05"));
    EXPECT_EQ(dialogs.fileDialogs.size(), 2);
    EXPECT_FALSE(w.control().OfferAwaitingAnswer(3));
}

TEST_F(DesktopOffer, AnOfferWithdrawnBeforeItsAnswerLeavesTheDesktop)
{
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    ASSERT_TRUE(server.registered());
    start();
    ControlPeer alice;
    offer(alice, "127.250.0.1", "alice", "clip.avi");
    alice.send("{trc}\x05");
    ASSERT_TRUE(waitUntil([&] { return server.closedByClient.size() == 1; }, kWaitMs));
    EXPECT_EQ(server.closedByClient.at(0), server.sent.last().id);
    // Its buttons answer nothing now.
    server.invoke(server.sent.last().id, QStringLiteral("accepter"));
    waitUntil([] { return false; }, 100);
    EXPECT_TRUE(dialogs.fileDialogs.isEmpty());
}

} // namespace
