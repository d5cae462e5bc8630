// The presence monitor on its own: recorded replies and the fake service, no
// window except where a window's end is the point.
#include "contacts/PresenceMonitor.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "contacts/OnlineListModel.h"
#include "service/ServiceSession.h"

#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class PresenceMonitorTest : public testing::Test
{
protected:
    // A poll reply as the service writes it, each address encoded for its
    // member.
    QString reply(const QList<std::pair<QString, QString>> &members) const
    {
        QString body = QStringLiteral("<html><body>\r\n");
        for (const auto &[name, address] : members) {
            QString letters;
            session.codec().EncryptForUser(name, address, letters);
            body += QStringLiteral("pseudo=") + name + QStringLiteral("<br>") + letters
                + QStringLiteral("<br>\r\n");
        }
        return body + QStringLiteral("</body></html>");
    }

    FakeService service;
    ScriptedDialogs dialogs;
    ServiceSession session { service.baseUrl(), HttpLimits { 2000, 2000 }, QStringLiteral("10.9.9.9"),
        dialogs };
    PresenceMonitor presence { session };
};

TEST_F(PresenceMonitorTest, RecordedRepliesDriveListsAddressesAndMoves)
{
    session.setAccount(QStringLiteral("moi"), QStringLiteral("moi"));
    for (const char *name : { "alice", "Bob", "carl" })
        session.addContact(QLatin1String(name));
    presence.startContacts(session.contactList());
    QSignalSpy status(&presence, &PresenceMonitor::statusText);

    presence.ApplyPresenceReply(reply({ { QStringLiteral("zed"), QStringLiteral("10.0.0.1") },
        { QStringLiteral("carl"), QStringLiteral("10.0.0.2") },
        { QStringLiteral("moi"), QStringLiteral("10.0.0.3") },
        { QStringLiteral("BOB"), QStringLiteral("10.0.0.4") } }));

    EXPECT_EQ(presence.onlineUsers().toStringList(), (QStringList { "zed", "carl", "moi", "BOB" }));
    EXPECT_EQ(presence.onlineList()->rowCount(), 4);
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status.at(0).at(0).toInt(), 1);
    EXPECT_EQ(status.at(0).at(1).toString(), QStringLiteral("10.0.0.3"));
    // Looked up ignoring case, decoded with the key of the name as asked.
    EXPECT_EQ(presence.GetIP(QStringLiteral("carl")), QStringLiteral("10.0.0.2"));
    EXPECT_EQ(presence.GetIP(QStringLiteral("nobody")), QString());

    // Contact order, case ignored: Bob and carl come online.
    EXPECT_EQ(presence.CheckFriend(),
        (QList<PresenceTransition> { { QStringLiteral("Bob"), true }, { QStringLiteral("carl"), true } }));
    EXPECT_EQ(presence.onlineContacts().toStringList(), (QStringList { "Bob", "carl" }));
    EXPECT_EQ(presence.offlineContacts().toStringList(), QStringList { "alice" });

    // Next reply: carl has gone; nothing changes for the others.
    presence.ApplyPresenceReply(reply({ { QStringLiteral("bob"), QStringLiteral("10.0.0.4") } }));
    EXPECT_EQ(presence.CheckFriend(), (QList<PresenceTransition> { { QStringLiteral("carl"), false } }));
    EXPECT_EQ(presence.CheckFriend(), QList<PresenceTransition> {});
    EXPECT_EQ(presence.GetIP(QStringLiteral("carl")), QString());
}

TEST_F(PresenceMonitorTest, PollAppliesTheReplyUnlessPollingStoppedMeanwhile)
{
    const struct
    {
        const char *name;
        bool timerRunning;
        bool logOutWhileWaiting;
        int status;
        bool applied;
    } cases[] = {
        { "tick", true, false, 200, true },
        { "first poll of a log-in", false, false, 200, true },
        { "log-out while the reply is on its way", true, true, 200, false },
        { "failed request", true, false, 500, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        presence.ApplyPresenceReply(reply({})); // nobody online yet
        presence.onlineList()->clear();
        service.clearScripts();
        service.script("/voxlane/getconnected.php",
            FakeService::Reply::text(
                reply({ { QStringLiteral("ann"), QStringLiteral("10.0.0.7") } }), c.status)
                .after(10));
        if (c.timerRunning)
            presence.refreshTimer().start();
        else
            presence.refreshTimer().stop();
        QMetaObject::Connection logOut;
        if (c.logOutWhileWaiting) {
            // What the log-out does to presence, while the poll waits.
            logOut = QObject::connect(&service, &FakeService::requestReceived, &presence, [this] {
                presence.endSession();
            });
        }
        QSignalSpy status(&presence, &PresenceMonitor::statusText);

        EXPECT_EQ(presence.PollOnline(), c.applied);
        QObject::disconnect(logOut);

        EXPECT_EQ(presence.onlineUsers().toStringList(), c.applied ? QStringList { "ann" } : QStringList {});
        EXPECT_EQ(presence.onlineList()->rowCount(), c.applied ? 1 : 0);
        EXPECT_EQ(status.size(), c.applied ? 1 : 0);
    }
    presence.refreshTimer().stop();
}

TEST_F(PresenceMonitorTest, PollsEveryTenSeconds)
{
    EXPECT_EQ(presence.refreshTimer().interval(), 10000);
    EXPECT_FALSE(presence.refreshTimer().isSingleShot());
    EXPECT_FALSE(presence.refreshTimer().isActive());
}

// A window made on the program's controllers, as the wiring makes it: the
// controllers outlive it.
class PresenceOutlivesWindow : public MainWindowFixture
{
protected:
    PresenceOutlivesWindow()
    {
        environment.serviceUrl = service.baseUrl();
        environment.localIp = QStringLiteral("10.9.9.9");
        httpLimits = HttpLimits { 2000, 2000 };
        controllers = std::make_unique<AppControllers>(services());
    }
    ~PresenceOutlivesWindow() override { controllers.reset(); }

    FakeService service;
    std::unique_ptr<AppControllers> controllers;
};

TEST_F(PresenceOutlivesWindow, ATickWhosePollAnswersAfterTheWindowIsGoneEndsQuietly)
{
    ServiceSession &session = controllers->session();
    PresenceMonitor &presence = controllers->presence();
    auto *w = new TfrmPrincipal(*controllers);
    const QPointer<TfrmPrincipal> watch(w);
    session.addContact(QStringLiteral("ann"));
    presence.startContacts(session.contactList());
    presence.refreshTimer().start();
    QString letters;
    session.codec().EncryptForUser(QStringLiteral("ann"), QStringLiteral("10.0.0.7"), letters);
    service.script("/voxlane/getconnected.php",
        FakeService::Reply::text(QStringLiteral("pseudo=ann<br>") + letters + QStringLiteral("<br>\r\n"))
            .after(10));
    QObject::connect(&service, &FakeService::requestReceived, &presence, [w](const QByteArray &path) {
        if (path == "/voxlane/getconnected.php")
            delete w;
    });

    presence.TimerRefreshTimer();

    EXPECT_TRUE(watch.isNull());
    // The reply reached the monitor; the window's part of the tick (the
    // contact view, the "came online" pop-up with its avatar) did not run.
    EXPECT_EQ(presence.onlineUsers().toStringList(), QStringList { "ann" });
    EXPECT_EQ(presence.offlineContacts().toStringList(), QStringList { "ann" });
    EXPECT_EQ(service.requests.size(), 1);
    presence.refreshTimer().stop();
}

} // namespace
