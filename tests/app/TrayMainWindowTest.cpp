#include "app/TrayStatus.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TPiconeBarreTache.h"
#include "service/ServiceSession.h"
#include "support/EventWait.h"
#include "support/FakeDesktopBus.h"
#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/PrivateBus.h"
#include "support/QtPrinters.h"
#include "support/Timing.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

namespace {

class TrayMainWindowTest : public MainWindowFixture
{
};

TEST_F(TrayMainWindowTest, TheTrayMenuAndTheIconCarryTheMainWindowsSettings)
{
    TestClient &w = createWindow();
    ASSERT_NE(w.PiconeBarreTache1, nullptr);
    TPiconeBarreTache &tray = *w.PiconeBarreTache1;
    EXPECT_EQ(tray.MenuPop(), w.PopupSysTray);
    EXPECT_FALSE(tray.ReduireSiFin());
    EXPECT_TRUE(tray.CacherSiMinimize());
    EXPECT_TRUE(tray.PetiteIconeVisible());
    EXPECT_TRUE(tray.GrandeIconeVisible());
    EXPECT_FALSE(tray.OuvreSiClicGauche());
    EXPECT_TRUE(tray.OuvreSiDblClick());
    EXPECT_TRUE(tray.MenuSiClicDroit());
    EXPECT_FALSE(tray.MenuSiClicGauche());
    EXPECT_TRUE(tray.IconLoaded());
    EXPECT_FALSE(tray.Icone().isNull());

    const QList<QAction *> items = w.PopupSysTray->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items.at(0)->text(), QStringLiteral("Ouvrir Voxlane"));
    EXPECT_EQ(items.at(1), w.Lecture2);
    EXPECT_TRUE(items.at(2)->isSeparator());
    EXPECT_EQ(items.at(3)->text(), QStringLiteral("Quitter"));
}

TEST_F(TrayMainWindowTest, WithoutATrayHostMinimisingLeavesTheWindowReachable)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "this desktop has a tray host";
    TestClient &w = createWindow();
    w.window->show();
    w.window->showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(w.window->isMinimized());
    EXPECT_TRUE(w.PiconeBarreTache1->TaskbarEntryShown());

    // "Ouvrir Voxlane" and the pop-ups' way back restore it.
    w.OuvrirVoxlane1->trigger();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_FALSE(w.window->isMinimized());
    w.window->showMinimized();
    w.window->RestoreMainWindow();
    EXPECT_FALSE(w.window->isMinimized());
}

TEST_F(TrayMainWindowTest, QuitterClosesTheWindow)
{
    TestClient &w = createWindow();
    w.window->show();
    int closings = 0;
    QObject::connect(w.window, &TfrmPrincipal::closing, [&] { ++closings; });
    w.Quitter1->trigger();
    EXPECT_EQ(closings, 1);
    EXPECT_FALSE(w.window->isVisible());
}

// The menu goes to the tray icon itself, which a StatusNotifier host shows
// on a right click (an XEmbed area too, once: the component does not open
// it a second time).
TEST_F(TrayMainWindowTest, TheTrayMenuIsPublishedWithTheIcon)
{
    TestClient &w = createWindow();
    EXPECT_EQ(w.PiconeBarreTache1->trayIcon()->contextMenu(), w.PopupSysTray);
    w.PiconeBarreTache1->setMenuSiClicDroit(false);
    EXPECT_EQ(w.PiconeBarreTache1->trayIcon()->contextMenu(), nullptr);
    w.PiconeBarreTache1->setMenuSiClicDroit(true);
    EXPECT_EQ(w.PiconeBarreTache1->trayIcon()->contextMenu(), w.PopupSysTray);
}

TEST(TrayStatus, TheTipNamesTheMemberAndCountsTheRunningTransfers)
{
    struct Case
    {
        const char *member;
        int running;
        const char *tip;
    };
    const Case cases[] {
        { "", 0, "Voxlane" },
        { "alice", 0, "Voxlane - alice" },
        { "alice", 1, "Voxlane - alice - 1 transfert en cours" },
        { "Zoé", 3, "Voxlane - Zoé - 3 transferts en cours" },
        { "", 2, "Voxlane - 2 transferts en cours" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(TrayStatus::tipText(QString::fromUtf8(c.member), c.running), QString::fromUtf8(c.tip));
}

// The tip follows the session, and an icon on a StatusNotifier host opens
// the window with one click, where no double click ever comes; on an XEmbed
// area the described double click stays the only way.
class TrayHost : public MainWindowFixture
{
protected:
    TrayHost()
        : watcherSide(bus.started() ? bus.connect() : QDBusConnection(QString()))
    {
    }

    PrivateBus bus;
    QDBusConnection watcherSide;
};

TEST_F(TrayHost, TheTipFollowsTheMemberLoggedIn)
{
    FakeService service;
    environment.serviceUrl = service.baseUrl();
    // No bus at all: the tip does not depend on a host.
    desktopBus = [] { return QDBusConnection(QString()); };
    TestClient &w = createWindow();
    EXPECT_EQ(w.PiconeBarreTache1->Hint(), QStringLiteral("Voxlane"));
    EXPECT_EQ(w.PiconeBarreTache1->trayIcon()->toolTip(), QStringLiteral("Voxlane"));

    ASSERT_TRUE(w.logInSession(service, QStringLiteral("alice")));
    ASSERT_TRUE(waitUntil([&] { return w.PiconeBarreTache1->Hint() == QStringLiteral("Voxlane - alice"); },
        5000 * kTimeScale));
    EXPECT_EQ(w.PiconeBarreTache1->trayIcon()->toolTip(), QStringLiteral("Voxlane - alice"));

    service.script("/voxlane/deconnect.php", FakeService::Reply::text(QStringLiteral("Déconnecté")));
    ASSERT_TRUE(w.session().CloseSession());
    ASSERT_TRUE(waitUntil([&] { return w.PiconeBarreTache1->Hint() == QStringLiteral("Voxlane"); },
        5000 * kTimeScale));
}

TEST_F(TrayHost, OnAStatusNotifierHostOneClickBringsTheWindowBack)
{
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    // A watcher without a host yet: an XEmbed area's rules.
    FakeStatusNotifierWatcher watcher(watcherSide, false);
    ASSERT_TRUE(watcher.registered());
    desktopBus = [this] { return bus.connect(); };
    TestClient &client = createWindow();
    TfrmPrincipal &w = *client.window;
    TPiconeBarreTache &tray = *client.PiconeBarreTache1;
    TrayStatus &status = client.controllers().trayStatus();
    QSignalSpy hosts(&status, &TrayStatus::hostChanged);
    waitUntil([&] { return false; }, 100);
    EXPECT_FALSE(status.statusNotifierHost());
    EXPECT_FALSE(tray.OuvreSiClicGauche());

    // A panel registers its host.
    watcher.setHost(true);
    ASSERT_TRUE(waitUntil([&] { return status.statusNotifierHost(); }, 5000 * kTimeScale));
    EXPECT_TRUE(tray.OuvreSiClicGauche());
    w.showMinimized();
    w.hide();
    tray.IconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());

    // The watcher goes (the panel stopped): back to the double click.
    watcher.unregister();
    ASSERT_TRUE(waitUntil([&] { return !status.statusNotifierHost(); }, 5000 * kTimeScale));
    EXPECT_FALSE(tray.OuvreSiClicGauche());
    w.hide();
    tray.IconActivated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w.isVisible());
    tray.IconActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(w.isVisible());

    // A watcher that starts with its host already there.
    FakeStatusNotifierWatcher again(watcherSide, true);
    ASSERT_TRUE(again.registered());
    ASSERT_TRUE(waitUntil([&] { return status.statusNotifierHost(); }, 5000 * kTimeScale));
    EXPECT_TRUE(tray.OuvreSiClicGauche());
    EXPECT_EQ(hosts.size(), 3);
}

} // namespace
