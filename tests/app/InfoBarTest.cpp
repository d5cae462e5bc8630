#include "components/ui/TRbProgressBar.h"
#include "components/ui/TRbButton.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TDistractBar.h"
#include "components/ui/TShape.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TvzkLoadPanel.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

class InfoBar : public MainWindowFixture
{
};

TEST_F(InfoBar, ControlsOfThePanel)
{
    TestClient &w = createWindow();
    EXPECT_TRUE(w.pnInfo->isHidden());
    EXPECT_EQ(w.DistractBar1->parentWidget(), w.pnInfo);
    EXPECT_EQ(w.DistractBar1->geometry(), QRect(100, 104, 160, 9));
    EXPECT_EQ(w.DistractBar1->BarCount(), 15);
    EXPECT_EQ(w.DistractBar1->Interval(), 40);
    EXPECT_EQ(w.DistractBar1->Process(), apDouble);
    EXPECT_FALSE(w.DistractBar1->Animated());
    EXPECT_EQ(w.Shape2->geometry(), QRect(0, 0, 361, 122));
    EXPECT_EQ(w.Image6->geometry(), QRect(8, 16, 32, 32));
    EXPECT_EQ(w.pBarLoading->geometry(), QRect(104, 84, 150, 16));
    EXPECT_TRUE(w.pBarLoading->isHidden());
    EXPECT_EQ(w.btnCancelTrans->Caption(), QStringLiteral("Annuler"));
    EXPECT_TRUE(w.btnCancelTrans->isHidden());
    EXPECT_FALSE(w.TimerInfo->isActive());
}

TEST_F(InfoBar, AnUntimedMessageStaysAndATimedOneReplacesItAndHidesOnce)
{
    TestClient &w = createWindow();
    w.window->show();
    w.window->AffichInfo(QStringLiteral("Connexion en cours..."), true, 0);
    EXPECT_FALSE(w.pnInfo->isHidden());
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Connexion en cours..."));
    EXPECT_TRUE(w.DistractBar1->Animated());
    EXPECT_TRUE(w.DistractBar1->threadRunning());
    EXPECT_FALSE(w.TimerInfo->isActive());
    QTest::qWait(60);
    EXPECT_FALSE(w.pnInfo->isHidden());

    w.window->AffichInfo(QStringLiteral("Transfert annulé"), true, 2500);
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Transfert annulé"));
    EXPECT_TRUE(w.TimerInfo->isActive());
    EXPECT_EQ(w.TimerInfo->interval(), 2500);

    // A shorter time shows the same path without waiting 2.5 s.
    w.window->AffichInfo(QStringLiteral("Transfert annulé"), true, 40);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.pnInfo->isHidden(); }, 2000));
    EXPECT_FALSE(w.TimerInfo->isActive());
    EXPECT_FALSE(w.DistractBar1->Animated());
    EXPECT_FALSE(w.DistractBar1->threadRunning());
    EXPECT_EQ(w.DistractBar1->EnableMask(), 0u);

    // The timer fired once: a later untimed message stays.
    w.window->AffichInfo(QStringLiteral("Chargement..."), true, 0);
    QTest::qWait(100);
    EXPECT_FALSE(w.pnInfo->isHidden());
}

TEST_F(InfoBar, AnUntimedMessageIsHiddenByTheTimerOfAnEarlierTimedOne)
{
    TestClient &w = createWindow();
    w.window->AffichInfo(QStringLiteral("Premier"), true, 50);
    w.window->AffichInfo(QStringLiteral("Second"), true, 0);
    EXPECT_TRUE(w.TimerInfo->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.pnInfo->isHidden(); }, 2000));
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Second"));
}

TEST_F(InfoBar, HidingIgnoresTextAndTime)
{
    TestClient &w = createWindow();
    w.window->AffichInfo(QStringLiteral("Texte"), true, 0);
    w.window->AffichInfo(QStringLiteral("ignoré"), false, 5000);
    EXPECT_TRUE(w.pnInfo->isHidden());
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Texte"));
    EXPECT_FALSE(w.TimerInfo->isActive());
    EXPECT_FALSE(w.DistractBar1->Animated());
}

TEST_F(InfoBar, ClosingTheWindowWhileTheBarRunsStopsItsThread)
{
    TestClient &w = createWindow();
    w.window->show();
    auto ticks = std::make_shared<std::atomic<int>>(0);
    w.DistractBar1->setOnAnimate([ticks](DistractBarModel *) { ticks->fetch_add(1); });
    w.window->AffichInfo(QStringLiteral("Connexion en cours..."), true, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks->load() > 1; }, 2000));
    QPointer<TDistractBar> bar = w.DistractBar1;
    w.window->close();
    window.reset();
    EXPECT_TRUE(bar.isNull());
    const int after = ticks->load();
    QTest::qWait(100);
    EXPECT_EQ(ticks->load(), after);
}

// The info panel as the user sees it, with the activity bar running.
TEST_F(InfoBar, ScreenshotShowsTheFrameTheMessageAndTheRunningBar)
{
    TestClient &w = createWindow();
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window));
    w.window->AffichInfo(QStringLiteral("Connexion en cours..."), true, 0);
    QTest::qWait(150); // a few ticks of 40 ms
    const QImage shot = w.pnInfo->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(361, 123));
    if (!qEnvironmentVariableIsEmpty("VOXLANE_SAVE_SHOTS"))
        shot.save(QDir(qEnvironmentVariable("VOXLANE_SAVE_SHOTS")).filePath(QStringLiteral("infobar.png")));

    const QColor frame(0xBF, 0xA9, 0x2B), fill(0xF8, 0xF3, 0xDE), unlit(0xE9, 0xDE, 0x9D);
    EXPECT_EQ(shot.pixelColor(0, 60), frame);
    EXPECT_EQ(shot.pixelColor(1, 60), frame);
    EXPECT_EQ(shot.pixelColor(360, 60), frame);
    EXPECT_EQ(shot.pixelColor(180, 0), frame);
    EXPECT_EQ(shot.pixelColor(5, 60), fill);
    EXPECT_EQ(shot.pixelColor(300, 110), fill);
    // Below the shape (122 high) the panel's own colour shows.
    EXPECT_EQ(shot.pixelColor(180, 122), unlit);

    // The bar at (100, 104): 15 bars at x = 6 + 10 i, framed; two lit bars
    // (the background's colour) and the others unlit.
    int lit = 0, off = 0;
    for (int i = 0; i < 15; ++i) {
        const int x = 100 + 6 + i * 10;
        EXPECT_EQ(shot.pixelColor(x, 108), frame) << "bar " << i;
        const QColor inside = shot.pixelColor(x + 3, 108);
        lit += inside == fill;
        off += inside == unlit;
    }
    EXPECT_GE(lit, 1);
    EXPECT_LE(lit, 2);
    EXPECT_EQ(lit + off, 15);

    // The message is drawn in navy over the fill.
    int navy = 0;
    for (int y = 15; y < 40; ++y)
        for (int x = 44; x < 200; ++x) {
            const QColor c = shot.pixelColor(x, y);
            navy += c.blue() > c.red() + 40 && c.red() < 100;
        }
    EXPECT_GT(navy, 20);
}

// A transfer stopped because the other member's key changed says so in the
// info bar, for long enough to be read, and the whole line fits the label
// even with a long pseudonym.
TEST_F(InfoBar, AStoppedTransfersKeyChangeIsShownWhole)
{
    TestClient &w = createWindow();
    w.window->show();
    QTemporaryDir home;
    w.settings().setTempFolder(home.filePath(QStringLiteral("temp")));
    QDir().mkpath(w.settings().tempFolder());
    // As long as a pseudonym may be (32 characters).
    const QString pseudo = QStringLiteral("Marie-Christine_Dupont-Lefevre32");
    ASSERT_TRUE(w.transfers().NewDownload(makeRecord(QStringLiteral("7"), pseudo, QStringLiteral("a.bin"),
        QStringLiteral("1000"), 0, home.filePath(QStringLiteral("a.bin")), 0, QString())));
    TvzkLoadPanel *panel = w.panel(QStringLiteral("Tel7"));
    ASSERT_NE(panel, nullptr);
    for (const bool keyChanged : { true, false }) {
        const QString text = TransferJob::keyStopInfoText(pseudo, keyChanged);
        emit panel->job()->peerKeyRefused(text);
        EXPECT_FALSE(w.pnInfo->isHidden());
        EXPECT_EQ(w.lblInfo->text(), text);
        EXPECT_TRUE(w.TimerInfo->isActive());
        EXPECT_EQ(w.TimerInfo->interval(), TransferManager::KeyInfoMs);
        EXPECT_LE(w.lblInfo->heightForWidth(w.lblInfo->width()), w.lblInfo->height()) << text.toStdString();
    }
}

} // namespace
