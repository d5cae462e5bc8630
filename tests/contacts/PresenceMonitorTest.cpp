// The presence monitor on its own: recorded replies and the fake service, no
// window except where a window's end is the point.
#include "contacts/PresenceMonitor.h"
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
            session.Codec.EncryptForUser(name, address, letters);
            body += QStringLiteral("pseudo=") + name + QStringLiteral("<br>") + letters
                + QStringLiteral("<br>\r\n");
        }
        return body + QStringLiteral("</body></html>");
    }

    FakeService service;
    ServiceSession session { service.baseUrl(), HttpLimits { 2000, 2000 }, QStringLiteral("10.9.9.9"),
        nullptr };
    PresenceMonitor presence { session };
};

TEST_F(PresenceMonitorTest, RecordedRepliesDriveListsAddressesAndMoves)
{
    session.CurrentPseudo = QStringLiteral("moi");
    session.ContactList = { QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("carl") };
    presence.OfflineContacts = session.ContactList;
    QSignalSpy status(&presence, &PresenceMonitor::statusText);

    presence.ApplyPresenceReply(reply({ { QStringLiteral("zed"), QStringLiteral("10.0.0.1") },
        { QStringLiteral("carl"), QStringLiteral("10.0.0.2") },
        { QStringLiteral("moi"), QStringLiteral("10.0.0.3") },
        { QStringLiteral("BOB"), QStringLiteral("10.0.0.4") } }));

    EXPECT_EQ(presence.OnlineUsers.toStringList(), (QStringList { "zed", "carl", "moi", "BOB" }));
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
    EXPECT_EQ(presence.OnlineContacts.toStringList(), (QStringList { "Bob", "carl" }));
    EXPECT_EQ(presence.OfflineContacts.toStringList(), QStringList { "alice" });

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
        presence.OnlineUsers.clear();
        presence.onlineList()->clear();
        service.clearScripts();
        service.script("/voxlane/getconnected.php",
            FakeService::Reply::text(
                reply({ { QStringLiteral("ann"), QStringLiteral("10.0.0.7") } }), c.status)
                .after(10));
        if (c.timerRunning)
            presence.TimerRefresh->start();
        else
            presence.TimerRefresh->stop();
        QMetaObject::Connection logOut;
        if (c.logOutWhileWaiting) {
            // What the log-out does to presence, while the poll waits.
            logOut = QObject::connect(&service, &FakeService::requestReceived, &presence, [this] {
                presence.TimerRefresh->stop();
                presence.onlineList()->clear();
                presence.OnlineContacts.clear();
                presence.OfflineContacts.clear();
            });
        }
        QSignalSpy status(&presence, &PresenceMonitor::statusText);

        EXPECT_EQ(presence.PollOnline(), c.applied);
        QObject::disconnect(logOut);

        EXPECT_EQ(presence.OnlineUsers.toStringList(), c.applied ? QStringList { "ann" } : QStringList {});
        EXPECT_EQ(presence.onlineList()->rowCount(), c.applied ? 1 : 0);
        EXPECT_EQ(status.size(), c.applied ? 1 : 0);
    }
    presence.TimerRefresh->stop();
}

TEST_F(PresenceMonitorTest, PollsEveryTenSeconds)
{
    EXPECT_EQ(presence.TimerRefresh->interval(), 10000);
    EXPECT_FALSE(presence.TimerRefresh->isSingleShot());
    EXPECT_FALSE(presence.TimerRefresh->isActive());
}

// A window given the session and presence from outside, as the program's
// wiring does.
class PresenceOutlivesWindow : public MainWindowFixture
{
protected:
    PresenceOutlivesWindow() { environment.serviceUrl = service.baseUrl(); }

    FakeService service;
    ServiceSession session { service.baseUrl(), HttpLimits { 2000, 2000 }, QStringLiteral("10.9.9.9"),
        &dialogs };
    PresenceMonitor presence { session };
};

TEST_F(PresenceOutlivesWindow, ATickWhosePollAnswersAfterTheWindowIsGoneEndsQuietly)
{
    AppServices services;
    services.dialogs = &dialogs;
    services.settings = settings.get();
    services.environment = environment;
    services.httpLimits = HttpLimits { 2000, 2000 };
    services.session = &session;
    services.presence = &presence;
    auto *w = new TfrmPrincipal(services);
    const QPointer<TfrmPrincipal> watch(w);
    session.ContactList = { QStringLiteral("ann") };
    presence.OfflineContacts = session.ContactList;
    presence.TimerRefresh->start();
    QString letters;
    session.Codec.EncryptForUser(QStringLiteral("ann"), QStringLiteral("10.0.0.7"), letters);
    service.script("/voxlane/getconnected.php",
        FakeService::Reply::text(QStringLiteral("pseudo=ann<br>") + letters + QStringLiteral("<br>\r\n"))
            .after(10));
    QObject::connect(&service, &FakeService::requestReceived, &presence, [w](const QByteArray &path) {
        if (path == "/voxlane/getconnected.php")
            delete w;
    });

    w->TimerRefreshTimer();

    EXPECT_TRUE(watch.isNull());
    // The reply reached the monitor; the window's part of the tick (the
    // contact view, the "came online" pop-up with its avatar) did not run.
    EXPECT_EQ(presence.OnlineUsers.toStringList(), QStringList { "ann" });
    EXPECT_EQ(presence.OfflineContacts.toStringList(), QStringList { "ann" });
    EXPECT_EQ(service.requests.size(), 1);
    presence.TimerRefresh->stop();
}

} // namespace
