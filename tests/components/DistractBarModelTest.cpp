#include "components/DistractBarModel.h"

#include "base/ErrorReport.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

namespace {

std::set<int> litBars(const DistractBarModel &bar)
{
    std::set<int> lit;
    for (int i = 0; i < bar.BarCount(); ++i)
        if (bar.IsBarOn(i))
            lit.insert(i);
    return lit;
}

// A bar whose ticks are driven by the test: while "loading", setting
// Animated creates the pattern but starts no thread.
struct SteppedBar
{
    explicit SteppedBar(int count, TDBAnimProcessType process)
    {
        bar.setBarCount(count);
        bar.setProcess(process);
        bar.Loading();
        bar.setAnimated(true);
    }
    DistractBarModel bar;
};

TEST(DistractBarModel, BarLayout)
{
    const struct
    {
        int length, count, spacing;
        int extent, first, last;
    } cases[] = {
        { 150, 10, 3, 12, 1, 136 },
        { 160, 15, 3, 7, 6, 146 },
        { 20, 3, 0, 6, 1, 13 },
        { 5, 5, 3, -1, 0, 0 }, // (N - 1) x spacing exceeds the length: no bar shows
        { 10, 5, 3, 0, 0, 0 },
    };
    for (const auto &c : cases) {
        const auto layout = DistractBarModel::barLayout(c.length, c.count, c.spacing);
        EXPECT_EQ(layout.extent, c.extent) << c.length << "/" << c.count << "/" << c.spacing;
        if (layout.extent > 0) {
            EXPECT_EQ(layout.offset, c.first);
            EXPECT_EQ(layout.offset + (c.count - 1) * (layout.extent + c.spacing), c.last);
        }
    }
}

TEST(DistractBarModel, PaintedBarsOfTheInfoPanelSitAtTheirPositions)
{
    DistractBarModel bar;
    bar.setBarSize(QSize(160, 9));
    bar.setBarCount(15);
    bar.setBackGroundColor(14611448);
    bar.setBarColorOn(14611448);
    bar.setBarColorOff(10346217);
    bar.setLineColor(2861503);
    bar.setEnableMask(1u << 1);
    const QImage img = bar.Buffer();
    ASSERT_EQ(img.size(), QSize(160, 9));
    const QColor background(0xF8, 0xF3, 0xDE), line(0xBF, 0xA9, 0x2B), off(0xE9, 0xDE, 0x9D);
    EXPECT_EQ(img.pixelColor(5, 4), background);
    EXPECT_EQ(img.pixelColor(6, 4), line); // bar 0: x = 6 .. 12
    EXPECT_EQ(img.pixelColor(9, 4), off);
    EXPECT_EQ(img.pixelColor(12, 4), line);
    EXPECT_EQ(img.pixelColor(13, 4), background); // spacing 13 .. 15
    EXPECT_EQ(img.pixelColor(19, 4), background); // bar 1 is lit: the lit colour is the background's
    EXPECT_EQ(img.pixelColor(16, 4), line);
    EXPECT_EQ(img.pixelColor(146, 0), line);
    EXPECT_EQ(img.pixelColor(149, 4), off);
    EXPECT_EQ(img.pixelColor(153, 4), background);
}

TEST(DistractBarModel, DropShadowAndVerticalBars)
{
    const QColor background(0xF0, 0xF0, 0xF0), line(0, 0, 0), off(0, 0x80, 0), black(0, 0, 0);
    DistractBarModel bar; // 150 x 20, 10 bars 12 wide from x = 1, spacing 3
    bar.setOptions({ doDrawLine, doBar3d });
    bar.setBarBorderWidth(2);
    QImage img = bar.Buffer();
    // Bar 0 shrinks to x 1..10, y 0..17; its shadow fills x 3..12 on rows
    // 18..19 and x 11..12 from row 2 down.
    EXPECT_EQ(img.pixelColor(1, 8), line);
    EXPECT_EQ(img.pixelColor(10, 8), line);
    EXPECT_EQ(img.pixelColor(5, 8), off);
    EXPECT_EQ(img.pixelColor(5, 17), line);
    EXPECT_EQ(img.pixelColor(5, 18), black);
    EXPECT_EQ(img.pixelColor(12, 19), black);
    EXPECT_EQ(img.pixelColor(11, 2), black);
    EXPECT_EQ(img.pixelColor(11, 1), background);
    EXPECT_EQ(img.pixelColor(2, 19), background);
    EXPECT_EQ(img.pixelColor(13, 10), background);

    DistractBarModel column;
    column.setBarSize(QSize(20, 150));
    column.setOrientation(boVertical);
    column.setEnableMask(1u << 9);
    img = column.Buffer();
    EXPECT_EQ(img.pixelColor(10, 0), background);
    EXPECT_EQ(img.pixelColor(10, 1), line); // bar 0 from y = 1 to 12
    EXPECT_EQ(img.pixelColor(10, 7), off);
    EXPECT_EQ(img.pixelColor(0, 7), line);
    EXPECT_EQ(img.pixelColor(10, 14), background);
    EXPECT_EQ(img.pixelColor(10, 142), QColor(0, 0xFF, 0)); // bar 9, lit, at y = 136..147
}

TEST(DistractBarModel, BlendColor)
{
    const struct
    {
        quint32 a, z;
        int i, n;
        quint32 expected;
    } cases[] = {
        { 0x000000FF, 0x00FF0000, 0, 10, 0x001900E6 },
        { 0x000000FF, 0x00FF0000, 4, 10, 0x007F0080 },
        { 0x000000FF, 0x00FF0000, 9, 10, 0x00FF0000 },
        { 0x00102030, 0x00102030, 3, 7, 0x00102030 },
        { 0x00000000, 0x00FFFFFF, 0, 3, 0x00555555 },
        // A system colour is blended as its bytes stand; the result has no high byte.
        { 0xFF00000F, 0x00000000, 9, 10, 0x00000000 },
    };
    for (const auto &c : cases) {
        const float t = float(c.i + 1) / float(c.n);
        EXPECT_EQ(DistractBarModel::BlendColor(c.a, c.z, t), c.expected)
            << std::hex << c.a << " -> " << c.z << " bar " << std::dec << c.i;
    }
}

TEST(DistractBarModel, BlendedColoursArePainted)
{
    DistractBarModel bar;
    bar.setBarSize(QSize(150, 20));
    bar.setOptions({ doColorOnUseEnd });
    bar.setBarColorOn(0x000000FF);
    bar.setBarColorOnEnd(0x00FF0000);
    bar.setEnableMask(0x3FF);
    const QImage img = bar.Buffer();
    EXPECT_EQ(img.pixelColor(1 + 6, 10), QColor(0xE6, 0x00, 0x19));
    EXPECT_EQ(img.pixelColor(61 + 6, 10), QColor(0x80, 0x00, 0x7F));
    EXPECT_EQ(img.pixelColor(136 + 6, 10), QColor(0x00, 0x00, 0xFF));
}

TEST(DistractBarModel, PatternSequences)
{
    using Lit = std::set<int>;
    const struct
    {
        const char *name;
        TDBAnimProcessType process;
        int count;
        std::vector<Lit> frames;
    } cases[] = {
        { "bounce", apBounce, 3, { { 0 }, { 1 }, { 2 }, { 1 }, { 0 }, { 1 }, { 2 }, { 1 } } },
        { "double", apDouble, 5, { { 0, 4 }, { 1, 3 }, { 2 }, { 1, 3 }, { 0, 4 }, { 0, 4 }, { 1, 3 } } },
        { "to right", apToRight, 3, { { 2 }, { 1 }, { 0 }, { 2 }, { 1 }, { 0 } } },
        { "to left", apToLeft, 3, { { 0 }, { 1 }, { 2 }, { 0 } } },
        { "fill bounce", apFillBounce, 3,
            { { 0 }, { 0, 1 }, { 0, 1, 2 }, { 0, 1 }, { 0 }, {}, { 2 }, { 1, 2 }, { 0, 1, 2 }, { 1, 2 },
                { 2 }, {}, { 0 }, { 0, 1 } } },
        { "fill left", apFillLeft, 3, { { 0 }, { 0, 1 }, { 0, 1, 2 }, { 1, 2 }, { 2 }, {}, { 0 } } },
        { "fill right", apFillRight, 3, { { 2 }, { 1, 2 }, { 0, 1, 2 }, { 0, 1 }, { 0 }, {}, { 2 } } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SteppedBar s(c.count, c.process);
        for (size_t f = 0; f < c.frames.size(); ++f) {
            s.bar.Tick();
            EXPECT_EQ(litBars(s.bar), c.frames[f]) << "frame " << f;
        }
    }
}

TEST(DistractBarModel, RandomLightsOnlyExistingBars)
{
    SteppedBar s(5, apRandom);
    quint32 seen = 0;
    for (int i = 0; i < 200; ++i) {
        s.bar.Tick();
        EXPECT_EQ(s.bar.EnableMask() & ~0x1Fu, 0u);
        seen |= s.bar.EnableMask();
    }
    EXPECT_EQ(seen, 0x1Fu);
    // 40 bars: the draw covers the 32 bars the mask holds; the rest stay off.
    SteppedBar wide(40, apRandom);
    quint32 wideSeen = 0;
    for (int i = 0; i < 50; ++i) {
        wide.bar.Tick();
        wideSeen |= wide.bar.EnableMask();
        EXPECT_FALSE(wide.bar.IsBarOn(35));
    }
    EXPECT_TRUE(wideSeen & 0x80000000u);
}

TEST(DistractBarModel, AnimProcessSkipStepsEveryThirdTickButAnimatesEveryTick)
{
    SteppedBar s(5, apToLeft);
    s.bar.setAnimProcessSkip(2);
    int animations = 0;
    s.bar.setOnAnimate([&](DistractBarModel *sender) {
        EXPECT_EQ(sender, &s.bar);
        ++animations;
    });
    std::vector<std::set<int>> frames;
    for (int i = 0; i < 7; ++i) {
        s.bar.Tick();
        frames.push_back(litBars(s.bar));
    }
    const std::vector<std::set<int>> expected { {}, {}, { 0 }, { 0 }, { 0 }, { 1 }, { 1 } };
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(animations, 7);
}

TEST(DistractBarModel, CaptionPlacementAndBounce)
{
    // ABC over 10 bars: skip 0 puts A, B, C on bars 0..2; skip 9 puts A on
    // bar 9, B on bar 0 and C on bar 1.
    EXPECT_EQ(DistractBarModel::captionIndex(0, 0, 10), 1);
    EXPECT_EQ(DistractBarModel::captionIndex(2, 0, 10), 3);
    EXPECT_EQ(DistractBarModel::captionIndex(3, 0, 10), 4); // beyond "ABC": nothing
    EXPECT_EQ(DistractBarModel::captionIndex(9, 9, 10), 1);
    EXPECT_EQ(DistractBarModel::captionIndex(0, 9, 10), 2);
    EXPECT_EQ(DistractBarModel::captionIndex(1, 9, 10), 3);

    SteppedBar s(10, apNone);
    s.bar.setCaption(QStringLiteral("ABC"));
    s.bar.setTextAnim(taBounce);
    std::vector<int> skips;
    for (int i = 0; i < 18; ++i) {
        s.bar.Tick();
        skips.push_back(s.bar.TextSkip());
    }
    const std::vector<int> expected { 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4 };
    EXPECT_EQ(skips, expected);

    // Changing the animation brings the caption home; it does not step on its own.
    s.bar.setTextAnim(taToLeft);
    EXPECT_EQ(s.bar.TextSkip(), 0);
    EXPECT_TRUE(s.bar.TextForward());
    for (int i = 0; i < 10; ++i)
        s.bar.Tick();
    EXPECT_EQ(s.bar.TextSkip(), 0); // 1 .. 9, then back to 0
    s.bar.setTextAnim(taToRight);
    s.bar.Tick();
    EXPECT_EQ(s.bar.TextSkip(), 9);
}

TEST(DistractBarModel, CaptionCharactersArePaintedOnTheirBars)
{
    DistractBarModel bar;
    bar.setBarSize(QSize(150, 20));
    bar.setOptions({ doDrawText });
    bar.setBackGroundColor(0x00FFFFFF);
    bar.setBarColorOff(0x00FFFFFF);
    bar.setCaption(QStringLiteral("ABC"));
    const auto barsWithInk = [&] {
        const QImage img = bar.Buffer();
        std::set<int> ink;
        for (int i = 0; i < 10; ++i)
            for (int x = 1 + i * 15; x < 1 + i * 15 + 12; ++x)
                for (int y = 0; y < 20; ++y)
                    if (qGray(img.pixel(x, y)) < 160)
                        ink.insert(i);
        return ink;
    };
    EXPECT_EQ(barsWithInk(), (std::set<int> { 0, 1, 2 }));
    bar.setTextSkip(9);
    EXPECT_EQ(barsWithInk(), (std::set<int> { 9, 0, 1 }));
}

TEST(DistractBarModel, InvalidValuesRaiseAndKeepTheFormerValue)
{
    DistractBarModel bar;
    const struct
    {
        const char *text;
        std::function<void()> set;
        std::function<int()> get;
        int former;
    } cases[] = {
        { "Invalid count", [&] { bar.setBarCount(0); }, [&] { return bar.BarCount(); }, 10 },
        { "Invalid count", [&] { bar.setBarCount(-3); }, [&] { return bar.BarCount(); }, 10 },
        { "Invalid width", [&] { bar.setBarSpacing(-1); }, [&] { return bar.BarSpacing(); }, 3 },
        { "Invalid width", [&] { bar.setBarBorderWidth(0); }, [&] { return bar.BarBorderWidth(); }, 1 },
        { "Invalid value", [&] { bar.setTextSkip(-1); }, [&] { return bar.TextSkip(); }, 0 },
        { "Invalid value", [&] { bar.setAnimProcessSkip(-1); }, [&] { return bar.AnimProcessSkip(); }, 0 },
        { "Invalid value", [&] { bar.setAnimTextSkip(-1); }, [&] { return bar.AnimTextSkip(); }, 0 },
    };
    for (const auto &c : cases) {
        try {
            c.set();
            ADD_FAILURE() << "no exception for " << c.text;
        } catch (const VoxlaneError &e) {
            EXPECT_EQ(e.message(), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(c.get(), c.former);
    }
    bar.setBarSpacing(0);
    EXPECT_EQ(bar.BarSpacing(), 0);
}

TEST(DistractBarModel, Defaults)
{
    DistractBarModel bar;
    EXPECT_FALSE(bar.Animated());
    EXPECT_EQ(bar.Caption(), QString());
    EXPECT_EQ(bar.BarSpacing(), 3);
    EXPECT_EQ(bar.BarCount(), 10);
    EXPECT_EQ(qint32(bar.BackGroundColor()), -16777201);
    EXPECT_EQ(bar.BarColorOn(), 65280u);
    EXPECT_EQ(bar.BarColorOff(), 32768u);
    EXPECT_EQ(bar.BarColorOnEnd(), 65280u);
    EXPECT_EQ(bar.BarColorOffEnd(), 32768u);
    EXPECT_EQ(bar.LineColor() | bar.LineColorEnd() | bar.FontColorEnd(), 0u);
    EXPECT_EQ(bar.EnableMask(), 0u);
    EXPECT_EQ(bar.Interval(), 100);
    EXPECT_EQ(bar.Process(), apNone);
    EXPECT_EQ(bar.TextAnim(), taNone);
    EXPECT_EQ(bar.BarBorderWidth(), 1);
    EXPECT_EQ(bar.Options(), (TDBShowOptions { doDrawLine, doDrawText }));
    EXPECT_EQ(bar.Options().bits(), 0x03);
    EXPECT_EQ(bar.Orientation(), boHorizontal);
    EXPECT_EQ(bar.BarSize(), QSize(150, 20));
    EXPECT_EQ(bar.CaptionFont().family(), QStringLiteral("Arial"));
    EXPECT_EQ(bar.ProcessClasses[apNone], nullptr);
    for (int p = apToLeft; p <= apFillBounce; ++p)
        EXPECT_NE(bar.ProcessClasses[p], nullptr);
}

TEST(DistractBarModel, ChangingProcessWhileAnimatedClearsAndStartsTheNewPatternFromItsStart)
{
    SteppedBar s(5, apToLeft);
    s.bar.Tick();
    s.bar.Tick();
    EXPECT_EQ(litBars(s.bar), (std::set<int> { 1 }));
    s.bar.setProcess(apToRight);
    EXPECT_EQ(s.bar.EnableMask(), 0u);
    s.bar.Tick();
    EXPECT_EQ(litBars(s.bar), (std::set<int> { 4 }));
    // A new bar count restarts the pattern.
    s.bar.setBarCount(3);
    s.bar.Tick();
    EXPECT_EQ(litBars(s.bar), (std::set<int> { 2 }));
    // Stopping switches every bar off.
    s.bar.setAnimated(false);
    EXPECT_EQ(s.bar.EnableMask(), 0u);
    s.bar.Tick();
    EXPECT_EQ(s.bar.EnableMask(), 0u);
}

TEST(DistractBarModel, UpdatesFoldIntoOnePaint)
{
    DistractBarModel bar;
    bar.setBarSize(QSize(150, 20));
    bar.setBarColorOff(0x000000FF);
    bar.BeginUpdate();
    bar.BeginUpdate();
    bar.setBarColorOff(0x00FF0000);
    bar.EndUpdate();
    EXPECT_EQ(bar.UpdateCount(), 1);
    EXPECT_EQ(bar.Buffer().pixelColor(7, 10), QColor(255, 0, 0)); // not repainted yet
    bar.EndUpdate();
    EXPECT_EQ(bar.UpdateCount(), 0);
    EXPECT_EQ(bar.Buffer().pixelColor(7, 10), QColor(0, 0, 255));
    bar.EndUpdate(); // unbalanced: stays at 0
    EXPECT_EQ(bar.UpdateCount(), 0);
}

TEST(DistractBarModel, AnimatedWhileLoadingStartsTheThreadOnlyWhenLoaded)
{
    DistractBarModel bar;
    bar.Loading();
    bar.setInterval(5);
    bar.setAnimated(true);
    EXPECT_FALSE(bar.threadRunning());
    bar.Loaded();
    EXPECT_TRUE(bar.threadRunning());
    bar.setAnimated(false);
    EXPECT_FALSE(bar.threadRunning());
}

} // namespace
