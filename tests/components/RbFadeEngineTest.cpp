#include "components/RbFadeEngine.h"
#include "components/RbColors.h"
#include "components/RbProgressModel.h"
#include "components/TRbStyleManager.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

// A clock the test moves by hand: it fires the engine's timer every period.
class FakeFadeClock : public RbFadeTimer
{
public:
    void startFadeTimer(int periodMs) override
    {
        period = periodMs;
        running = true;
        due = now + periodMs;
    }
    void stopFadeTimer() override { running = false; }
    // Advances by ms; returns the levels seen after each tick.
    void advance(int ms, RbFadeEngine &engine)
    {
        const int end = now + ms;
        while (running && due <= end) {
            now = due;
            due += period;
            engine.TimerFired();
            steps.push_back({ now, engine.OverFade, engine.ClickFade });
        }
        now = end;
    }
    struct Step
    {
        int at, over, click;
        bool operator==(const Step &) const = default;
    };
    int now = 0;
    int due = 0;
    int period = 0;
    bool running = false;
    std::vector<Step> steps;
};

TEST(FadeEngine, HotFadeAtMediumRisesByTenEveryTwentyMsThenStops)
{
    FakeFadeClock clock;
    RbFadeEngine fade(clock);
    int repaints = 0;
    fade.onRepaint = [&] { ++repaints; };
    fade.IsHot = true;
    fade.FadeStepHandler = RbFadeEngine::FadeIn;
    fade.StartFade();
    EXPECT_EQ(clock.period, 20);
    clock.advance(1000, fade);
    ASSERT_EQ(clock.steps.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(clock.steps[i], (FakeFadeClock::Step { 20 * (i + 1), 10 * (i + 1), 0 }));
    EXPECT_FALSE(clock.running);
    EXPECT_EQ(repaints, 10);

    // Leaving: down by ten per step to 0, then one more tick stops it.
    clock.steps.clear();
    fade.IsHot = false;
    fade.FadeStepHandler = RbFadeEngine::FadeOut;
    fade.StartFade();
    clock.advance(1000, fade);
    ASSERT_EQ(clock.steps.size(), 11u);
    EXPECT_EQ(clock.steps[0].over, 90);
    EXPECT_EQ(clock.steps[9].over, 0);
    EXPECT_FALSE(clock.running);
}

TEST(FadeEngine, PressRisesByQuarterAndReleaseInsideFallsBackWhileOverStaysFull)
{
    FakeFadeClock clock;
    RbFadeEngine fade(clock);
    fade.OverFade = 100;
    fade.IsHot = true;
    fade.IsPressed = true;
    fade.FadeStepHandler = RbFadeEngine::FadeIn;
    fade.FadeInStep(); // the press itself takes the first step
    fade.StartFade();
    EXPECT_EQ(fade.ClickFade, 25);
    clock.advance(200, fade);
    std::vector<int> clicks;
    for (auto &s : clock.steps)
        clicks.push_back(s.click);
    EXPECT_EQ(clicks, (std::vector<int> { 50, 75, 100, 100 }));
    EXPECT_FALSE(clock.running);

    clock.steps.clear();
    fade.IsPressed = false;
    fade.StartFade();
    clock.advance(200, fade);
    clicks.clear();
    for (auto &s : clock.steps) {
        clicks.push_back(s.click);
        EXPECT_EQ(s.over, 100);
    }
    EXPECT_EQ(clicks, (std::vector<int> { 75, 50, 25, 0 }));
    EXPECT_FALSE(clock.running);
}

TEST(FadeEngine, SpeedsAndSwallowedErrors)
{
    FakeFadeClock clock;
    RbFadeEngine fade(clock);
    const std::pair<TFadeSpeed, int> speeds[]
        = { { fsSlow, 40 }, { fsMedium, 20 }, { fsFast, 12 }, { fsVeryFast, 8 } };
    for (auto [speed, ms] : speeds) {
        fade.FadeSpeed = speed;
        fade.StartFade();
        EXPECT_EQ(clock.period, ms);
    }
    fade.onRepaint = [] { throw std::runtime_error("paint failed"); };
    fade.FadeStepHandler = RbFadeEngine::FadeOut;
    fade.OverFade = 50;
    EXPECT_NO_THROW(fade.TimerFired());
    EXPECT_EQ(fade.OverFade, 40);
}

TEST(ProgressModel, PercentagesClampingAndRefusedLimits)
{
    RbProgressModel bar;
    EXPECT_TRUE(bar.setMax(200));
    bar.setPosition(50);
    EXPECT_EQ(bar.Percent(), 25);
    EXPECT_EQ(bar.Text(QString(), true, true), QStringLiteral("25%"));
    bar.setPosition(300);
    EXPECT_EQ(bar.Position(), 200);
    EXPECT_EQ(bar.Percent(), 100);
    bar.setPosition(-5);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_FALSE(bar.setMax(0));
    EXPECT_FALSE(bar.setMax(200)); // unchanged
    EXPECT_EQ(bar.Max(), 200);
    EXPECT_FALSE(bar.setMin(200));
    EXPECT_TRUE(bar.setMin(100)); // position follows into the new range
    EXPECT_EQ(bar.Position(), 100);
    EXPECT_EQ(bar.Percent(), 0);

    // Ties round to even: 1 of 8 is 12.5 %, 3 of 8 is 37.5 %.
    RbProgressModel eighths;
    eighths.setMax(8);
    eighths.setPosition(1);
    EXPECT_EQ(eighths.Percent(), 12);
    eighths.setPosition(3);
    EXPECT_EQ(eighths.Percent(), 38);
    EXPECT_EQ(eighths.Text(QStringLiteral("Chargement"), true, true), QStringLiteral("Chargement 38%"));
    EXPECT_EQ(eighths.Text(QStringLiteral("Chargement"), true, false), QStringLiteral("Chargement"));
    EXPECT_EQ(eighths.Text(QStringLiteral("Chargement"), false, true), QStringLiteral("38%"));
}

TEST(ProgressModel, EqualLimitsFromAFormFillNothingAndVerticalFillsFromTheBottom)
{
    RbProgressModel bar;
    bar.setLoading(true);
    bar.setMin(100);
    bar.setLoading(false);
    EXPECT_EQ(bar.Min(), bar.Max());
    EXPECT_EQ(bar.Percent(), 0);
    EXPECT_TRUE(bar.FilledRect(150, 16, pbHorizontal, 1, kAllBorderLines).isEmpty());

    RbProgressModel v;
    v.setPosition(25);
    EXPECT_EQ(v.FilledRect(20, 100, pbVertical, 0, 0), QRect(0, 75, 20, 25));
    EXPECT_EQ(v.FilledRect(20, 100, pbVertical, 1, kAllBorderLines), QRect(2, 77, 16, 21));
    EXPECT_EQ(v.FilledRect(200, 16, pbHorizontal, 1, 0), QRect(1, 1, 48, 14));

    EXPECT_FALSE(v.acceptsBorderWidth(1, -1, 16));
    EXPECT_FALSE(v.acceptsBorderWidth(1, 1, 16));
    EXPECT_FALSE(v.acceptsBorderWidth(1, 8, 16));
    EXPECT_TRUE(v.acceptsBorderWidth(1, 7, 16));
}

TEST(Colours, ChangesNotifyTheOwnerAndAssignCopiesEverything)
{
    TRbControlColors a;
    int images = 0, repaints = 0;
    a.onImagesChanged = [&] { ++images; };
    a.onRepaint = [&] { ++repaints; };
    a.setDefaultFrom(10346217);
    a.setDefaultFrom(10346217); // same value: nothing
    a.setBorderColor(0x123456);
    a.setHotTrack(0x00FF00);
    a.setTextShadow(0);
    EXPECT_EQ(images, 2);
    EXPECT_EQ(repaints, 2);

    TRbControlColors b;
    b.Assign(a);
    EXPECT_EQ(b.DefaultFrom(), 10346217u);
    EXPECT_EQ(b.BorderColor(), 0x123456u);
    EXPECT_EQ(b.HotTrack(), 0x00FF00u);
    EXPECT_EQ(b.ClickedFrom(), 13029334u);

    TRbSplitterColors s;
    EXPECT_EQ(s.DefaultFrom(), RbDrawCore::kButtonFace);
    EXPECT_EQ(s.OverTo(), 0xBE9476u);
}

class RecordingClient : public TRbStyleClient
{
public:
    void StyleManagerGone(TRbStyleManager *) override { ++gone; }
    int gone = 0;
};

TEST(StyleManager, KeepsClientsOnceAndTellsThemWhenGoing)
{
    RecordingClient one, two;
    auto *manager = new TRbStyleManager;
    manager->AddClient(&one);
    manager->AddClient(&one);
    manager->AddClient(&two);
    EXPECT_EQ(manager->Clients().size(), 2);
    manager->RemoveClient(&two);
    EXPECT_EQ(manager->Clients().size(), 1);

    TRbStyleManager copy;
    manager->CheckColor = 0x0000FF;
    manager->FadeSpeed = fsFast;
    manager->Colors().setOverTo(0x111111);
    copy.Assign(*manager);
    EXPECT_EQ(copy.CheckColor, 0x0000FFu);
    EXPECT_EQ(copy.FadeSpeed, fsFast);
    EXPECT_EQ(copy.Colors().OverTo(), 0x111111u);
    EXPECT_TRUE(copy.Clients().isEmpty());

    delete manager;
    EXPECT_EQ(one.gone, 1);
    EXPECT_EQ(two.gone, 0);
}

} // namespace
