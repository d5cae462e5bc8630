#include "components/ui/TDistractBar.h"

#include "base/ErrorReport.h"
#include "support/RecordedErrors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

// Runs the event loop until done() holds, or for at most ms; a loaded
// machine only makes the wait longer, never the test fail.
template <typename Done>
bool pumpUntil(Done done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(1);
    }
    return done();
}

void pumpEvents(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(1);
    }
}

TEST(TDistractBar, TheRunningAnimationReachesTheScreen)
{
    QWidget window;
    window.resize(200, 40);
    auto *bar = new TDistractBar(&window);
    bar->setGeometry(20, 10, 160, 9);
    bar->setBarCount(15);
    bar->setBackGroundColor(14611448);
    bar->setBarColorOn(0x0000FF); // red when lit
    bar->setBarColorOff(10346217);
    bar->setLineColor(2861503);
    bar->setInterval(5);
    bar->setProcess(apDouble);
    std::atomic<int> ticks { 0 };
    bar->setOnAnimate([&](DistractBarModel *) { ticks.fetch_add(1); });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const int shownBefore = bar->framesShown();
    bar->setAnimated(true);
    EXPECT_TRUE(pumpUntil([&] { return ticks.load() > 5 && bar->framesShown() > shownBefore + 3; }, 10000))
        << ticks.load() << " ticks, " << bar->framesShown() - shownBefore << " frames";
    // The frames come through the GUI thread: never more than the ticks.
    EXPECT_LE(bar->framesShown() - shownBefore, ticks.load() + 2);

    const QImage shot = bar->grab().toImage();
    int red = 0;
    for (int i = 0; i < 15; ++i)
        red += shot.pixelColor(6 + i * 10 + 3, 4) == QColor(255, 0, 0);
    EXPECT_GE(red, 1);
    EXPECT_LE(red, 2); // apDouble: two bars lit, one where they meet

    bar->setAnimated(false);
    EXPECT_FALSE(bar->threadRunning());
    EXPECT_EQ(bar->EnableMask(), 0u);
    const int ticksAfterStop = ticks.load();
    pumpEvents(30);
    EXPECT_EQ(ticks.load(), ticksAfterStop);
}

// Starts and stops the animation many times while the GUI thread changes
// properties under it; run it under the thread sanitizer.
TEST(TDistractBar, StartingAndStoppingWhilePropertiesChange)
{
    QWidget window;
    window.resize(200, 60);
    auto *bar = new TDistractBar(&window);
    bar->setGeometry(0, 0, 160, 20);
    bar->setInterval(1);
    bar->setCaption(QStringLiteral("Voxlane"));
    std::atomic<int> ticks { 0 };
    bar->setOnAnimate([&](DistractBarModel *) { ticks.fetch_add(1); });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const TDBAnimProcessType processes[]
        = { apToLeft, apToRight, apBounce, apDouble, apRandom, apFillLeft, apFillRight, apFillBounce };
    for (int round = 0; round < 120; ++round) {
        bar->setAnimated(true);
        bar->setProcess(processes[round % 8]);
        bar->setBarCount(3 + round % 20);
        bar->setTextAnim(TDBTextAnimType(round % 4));
        bar->setAnimProcessSkip(round % 3);
        bar->setAnimTextSkip(round % 2);
        bar->setBarColorOn(quint32(round * 0x010203));
        bar->setOptions(TDBShowOptions::fromBits(quint8(round % 128)));
        bar->setOrientation(round % 5 == 0 ? boVertical : boHorizontal);
        bar->setInterval(round % 3);
        if (round % 10 == 0)
            bar->resize(100 + round, 20);
        QCoreApplication::processEvents();
        if (round % 7 == 0)
            QTest::qSleep(2);
        bar->setAnimated(false);
        ASSERT_FALSE(bar->threadRunning());
        ASSERT_EQ(bar->EnableMask(), 0u);
    }
    EXPECT_GT(ticks.load(), 0);
    EXPECT_EQ(bar->UpdateCount(), 0);
}

TEST(TDistractBar, ClosingTheWindowWhileAnimatedStopsTheThread)
{
    auto ticks = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < 20; ++i) {
        auto window = std::make_unique<QWidget>();
        auto *bar = new TDistractBar(window.get());
        bar->setInterval(0);
        bar->setProcess(apFillBounce);
        bar->setOnAnimate([ticks](DistractBarModel *) { ticks->fetch_add(1); });
        window->show();
        bar->setAnimated(true);
        while (ticks->load() < i + 1)
            QCoreApplication::processEvents();
        window->close();
        window.reset(); // destroys the bar while its thread ticks
    }
    const int afterLast = ticks->load();
    QCoreApplication::processEvents(); // queued frame requests of dead bars are dropped
    QTest::qSleep(20);
    EXPECT_EQ(ticks->load(), afterLast);
}

TEST(TDistractBar, AFailingAnimateHandlerIsReportedOnTheGuiThreadAndTheAnimationGoesOn)
{
    RecordedErrors::take();
    TDistractBar bar;
    bar.setInterval(2);
    std::atomic<int> calls { 0 };
    bar.setOnAnimate([&](DistractBarModel *) {
        if (calls.fetch_add(1) == 0)
            throw VoxlaneError(QStringLiteral("boom"));
    });
    bar.setAnimated(true);
    ASSERT_TRUE(QTest::qWaitFor([] { return !RecordedErrors::messages().isEmpty(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls.load() > 3; }, 2000));
    bar.setAnimated(false);
    EXPECT_EQ(RecordedErrors::take(), QStringList({ "boom" }));
}

} // namespace
