#include "components/ui/TPiconeBarreTache.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The notification area as the test wants it: present or not, recording
// what the component asks of it.
class FakeTray : public TPiconeBarreTache
{
public:
    using TPiconeBarreTache::TPiconeBarreTache;

    bool available = true;
    int registrations = 0;
    int removals = 0;
    QList<QPoint> menus;
    QList<int> flashes;
    QPoint cursor { 300, 700 };

protected:
    bool trayAvailable() const override { return available; }
    void registerIcon() override { ++registrations; }
    void unregisterIcon() override { ++removals; }
    void flash(int ms) override { flashes << ms; }
    void popupMenu(const QPoint &at) override { menus << at; }
    QPoint cursorPos() const override { return cursor; }
};

QIcon colourIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

class TrayIconTest : public testing::Test
{
protected:
    // The main window's settings of the component.
    void makeMainWindowTray(bool trayPresent)
    {
        form = std::make_unique<QWidget>();
        form->resize(200, 100);
        tray = new FakeTray(form.get());
        tray->available = trayPresent;
        tray->setMenuPop(&menu);
        tray->setCacherSiMinimize(true);
        tray->setOuvreSiClicGauche(false);
        tray->setOuvreSiDblClick(true);
        tray->Loaded();
        form->show();
    }
    void minimise()
    {
        form->showMinimized();
        QCoreApplication::processEvents();
    }
    bool reachable() const { return form->isVisible() || tray->IconShown(); }

    std::unique_ptr<QWidget> form;
    QMenu menu;
    FakeTray *tray = nullptr;
};

TEST_F(TrayIconTest, MinimisingHidesTheTaskbarEntryAndADoubleClickBringsTheFormBack)
{
    makeMainWindowTray(true);
    EXPECT_TRUE(tray->IconShown());
    EXPECT_EQ(tray->registrations, 1);

    minimise();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(tray->TaskbarEntryShown());
    EXPECT_TRUE(tray->IconShown());

    // A single left click does nothing with these settings.
    tray->IconActivated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(tray->menus.isEmpty());

    int doubleClicks = 0;
    QObject::connect(tray, &TPiconeBarreTache::OnDblClick, [&] { ++doubleClicks; });
    tray->IconActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(tray->TaskbarEntryShown());
    EXPECT_FALSE(tray->ApplicationCachee());
}

TEST_F(TrayIconTest, ARightPressOpensTheMenuAtThePointerAfterForwardingTheButton)
{
    makeMainWindowTray(true);
    QList<std::pair<int, int>> downs;
    QObject::connect(tray, &TPiconeBarreTache::OnMouseDown,
        [&](Qt::MouseButton button, Qt::MouseButtons shift, int x, int y) {
            downs.append({ int(button), int(shift) });
            EXPECT_EQ(QPoint(x, y), tray->cursor);
        });
    tray->IconActivated(QSystemTrayIcon::Context);
    ASSERT_EQ(tray->menus.size(), 1);
    EXPECT_EQ(tray->menus.first(), QPoint(300, 700));
    ASSERT_EQ(downs.size(), 1);
    EXPECT_EQ(downs.first(), std::make_pair(int(Qt::RightButton), int(Qt::RightButton)));

    // The middle button is forwarded only; the menu needs MenuSiClicDroit.
    tray->IconActivated(QSystemTrayIcon::MiddleClick);
    tray->setMenuSiClicDroit(false);
    tray->IconActivated(QSystemTrayIcon::Context);
    EXPECT_EQ(tray->menus.size(), 1);
    EXPECT_EQ(downs.size(), 3);
}

TEST_F(TrayIconTest, WithoutATrayHostTheFormAlwaysKeepsItsTaskbarEntry)
{
    makeMainWindowTray(false);
    minimise();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_TRUE(tray->TaskbarEntryShown());

    tray->ShowApplication();
    tray->setApplicationCachee(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isMinimized());

    // Closing would hide the form for good: with no icon to come back by, it closes.
    tray->setApplicationCachee(false);
    tray->setReduireSiFin(true);
    EXPECT_TRUE(form->close());
}

TEST_F(TrayIconTest, ClosingWithReduireSiFinHidesTheFormWhenAnIconLeadsBack)
{
    makeMainWindowTray(true);
    tray->setReduireSiFin(true);
    EXPECT_FALSE(form->close());
    EXPECT_FALSE(form->isVisible());
    tray->IconActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(TrayIconTest, TheIconComesBackWithTheTrayHostAndTheFormWhenTheHostIsGone)
{
    makeMainWindowTray(true);
    minimise();
    ASSERT_FALSE(form->isVisible());

    // The host goes away while the form is hidden: the form gets its entry back.
    tray->available = false;
    tray->CheckTrayHost();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(tray->TaskbarEntryShown());

    // A host starts again: the icon is registered anew.
    const int before = tray->registrations;
    tray->available = true;
    tray->CheckTrayHost();
    EXPECT_EQ(tray->registrations, before + 1);
    EXPECT_TRUE(tray->IconShown());
    tray->CheckTrayHost();
    EXPECT_EQ(tray->registrations, before + 1);
}

// The host goes and comes back between two checks, the form is hidden in
// it, and the host goes again: the form still comes back.
TEST_F(TrayIconTest, AFormHiddenInAHostTheChecksNeverSawComesBackWhenItGoes)
{
    makeMainWindowTray(true);
    tray->available = false;
    tray->CheckTrayHost();
    tray->available = true; // no check runs before the user minimises
    minimise();
    ASSERT_FALSE(form->isVisible());
    ASSERT_FALSE(tray->TaskbarEntryShown());

    tray->available = false;
    tray->CheckTrayHost();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(tray->TaskbarEntryShown());
}

TEST_F(TrayIconTest, HintOrderListAndImages)
{
    makeMainWindowTray(true);
    tray->setHint(QString(100, u'x'));
    EXPECT_EQ(tray->TipText(), QString(63, u'x'));
    EXPECT_EQ(tray->Hint().size(), 100);

    const QList<QIcon> images { colourIcon(Qt::red), colourIcon(Qt::green), colourIcon(Qt::blue) };
    tray->setImageList(images);
    tray->setOrdreImageListAffiche(QStringLiteral("0,2,1"));
    EXPECT_EQ(tray->OrderCount(), 3);
    EXPECT_THROW(tray->setOrdreImageListAffiche(QStringLiteral("0, 2,1")), ExceptionNumsImageLIstAffiche);
    EXPECT_EQ(tray->OrdreImageListAffiche(), QStringLiteral("0,2,1"));
    EXPECT_EQ(tray->OrderCount(), 3);

    tray->setIntervalAnimation(250);
    tray->setAnimation(true);
    EXPECT_TRUE(tray->animationTimer()->isActive());
    EXPECT_EQ(tray->animationTimer()->interval(), 250);
    QList<int> shown;
    for (int i = 0; i < 6; ++i) {
        tray->AnimationStep();
        shown << tray->CurrentImage();
        EXPECT_EQ(tray->Icone().cacheKey(), images.at(tray->CurrentImage()).cacheKey());
    }
    EXPECT_EQ(shown, (QList<int> { 2, 1, 0, 2, 1, 0 }));

    // Stopping the animation shows NumIconeImageList; an image beyond the
    // list changes nothing but the number asked for.
    tray->setNumIconeImageList(1);
    tray->setAnimation(false);
    EXPECT_FALSE(tray->animationTimer()->isActive());
    EXPECT_EQ(tray->Icone().cacheKey(), images.at(1).cacheKey());
    tray->ShowImageListIcon(5);
    EXPECT_EQ(tray->CurrentImage(), 5);
    EXPECT_EQ(tray->Icone().cacheKey(), images.at(1).cacheKey());
}

TEST_F(TrayIconTest, BlinkingAsksForAttentionEachPeriodUntilTurnedOff)
{
    makeMainWindowTray(true);
    tray->setIntervalGrandeIconeBlink(400);
    tray->setGrandeIconBlink(true);
    EXPECT_TRUE(tray->blinkTimer()->isActive());
    EXPECT_EQ(tray->blinkTimer()->interval(), 400);
    tray->BlinkTick();
    tray->BlinkTick();
    EXPECT_EQ(tray->flashes, (QList<int> { 200, 200 }));
    tray->setGrandeIconBlink(false);
    EXPECT_FALSE(tray->blinkTimer()->isActive());
}

TEST_F(TrayIconTest, RemovingTheIconWhileHiddenBringsTheFormBack)
{
    makeMainWindowTray(true);
    tray->HideApplication();
    EXPECT_FALSE(form->isVisible());
    tray->setPetiteIconeVisible(false);
    EXPECT_FALSE(tray->IconShown());
    EXPECT_EQ(tray->removals, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(reachable());
}

TEST(TrayIconDesignerValues, AComponentStartsWithTheDesignerValues)
{
    QWidget form;
    TPiconeBarreTache tray(&form);
    EXPECT_EQ(tray.MenuPop(), nullptr);
    EXPECT_FALSE(tray.ReduireSiFin());
    EXPECT_FALSE(tray.CacherSiMinimize());
    EXPECT_TRUE(tray.PetiteIconeVisible());
    EXPECT_TRUE(tray.GrandeIconeVisible());
    EXPECT_FALSE(tray.ApplicationCachee());
    EXPECT_TRUE(tray.IconeFileName().isEmpty());
    EXPECT_TRUE(tray.OrdreImageListAffiche().isEmpty());
    EXPECT_EQ(tray.IntervalAnimation(), 1000);
    EXPECT_FALSE(tray.Animation());
    EXPECT_EQ(tray.NumIconeImageList(), 0);
    EXPECT_TRUE(tray.Hint().isEmpty());
    EXPECT_FALSE(tray.GrandeIconBlink());
    EXPECT_EQ(tray.IntervalGrandeIconeBlink(), 1000);
    EXPECT_TRUE(tray.OuvreSiClicGauche());
    EXPECT_FALSE(tray.OuvreSiDblClick());
    EXPECT_TRUE(tray.MenuSiClicDroit());
    EXPECT_FALSE(tray.MenuSiClicGauche());
    EXPECT_FALSE(tray.IconShown());
    // Properties are reachable by name, as a form file sets them.
    EXPECT_TRUE(tray.setProperty("Hint", QStringLiteral("Voxlane")));
    EXPECT_EQ(tray.TipText(), QStringLiteral("Voxlane"));
}

} // namespace
