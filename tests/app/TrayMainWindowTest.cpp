#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TPiconeBarreTache.h"
#include "support/MainWindowFixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
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

} // namespace
