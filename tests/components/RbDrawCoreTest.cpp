#include "components/RbDrawCore.h"
#include "components/RbPanelLook.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace RbDrawCore;

namespace {

quint32 bgr(QRgb p)
{
    return quint32(qRed(p)) | (quint32(qGreen(p)) << 8) | (quint32(qBlue(p)) << 16);
}

TEST(GradientFill, EqualColoursFillFlatAndOnlyInsideTheRect)
{
    QImage img = newBitmap(20, 10, 0x000000);
    GradientFill(img, QRect(2, 3, 5, 4), 0x123456, 0x123456, gtRadial);
    EXPECT_EQ(bgr(img.pixel(2, 3)), 0x123456u);
    EXPECT_EQ(bgr(img.pixel(6, 6)), 0x123456u);
    EXPECT_EQ(bgr(img.pixel(7, 6)), 0u); // right edge is exclusive
    EXPECT_EQ(bgr(img.pixel(6, 7)), 0u);
    EXPECT_EQ(bgr(img.pixel(1, 3)), 0u);
}

TEST(GradientFill, VerticalRowKGetsK)
{
    QImage img = newBitmap(4, 10);
    GradientFill(img, img.rect(), 0x000000, 0x0A0A0A, gtVertical);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(qRed(img.pixel(0, k)), k);
        EXPECT_EQ(qGreen(img.pixel(3, k)), k);
        EXPECT_EQ(qBlue(img.pixel(2, k)), k);
    }
}

TEST(GradientFill, KindsRunInTheirDirections)
{
    struct Case
    {
        TGradientType kind;
        QPoint start; // gets the from-colour
        QPoint further; // nearer the to-colour
    };
    const Case cases[] = {
        { gtHorizontal, { 0, 5 }, { 15, 5 } },
        { gtFromTopLeft, { 0, 0 }, { 19, 9 } },
        { gtFromTopRight, { 20, 0 }, { 0, 9 } }, // x = Right is outside; the corner pixel is next to it
        { gtRadial, { 10, 5 }, { 0, 0 } },
        { gtDoubleHorz, { 10, 5 }, { 0, 5 } },
        { gtDoubleVert, { 3, 5 }, { 3, 0 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.kind));
        QImage img = newBitmap(20, 10);
        GradientFill(img, img.rect(), 0x000000, 0xC8C8C8, c.kind);
        const QPoint s(std::min(c.start.x(), 19), c.start.y());
        EXPECT_LE(qRed(img.pixel(s)), c.kind == gtFromTopRight ? 13 : 0);
        EXPECT_GT(qRed(img.pixel(c.further)), qRed(img.pixel(s)) + 100);
    }
    // The double kinds are symmetric about their middle line.
    QImage img = newBitmap(20, 10);
    GradientFill(img, img.rect(), 0x000000, 0xC8C8C8, gtDoubleHorz);
    EXPECT_EQ(img.pixel(5, 2), img.pixel(15, 2));
}

TEST(GradientFill, OvershootIsHeldAtTheByteLimitsAndOnePixelWideDoesNotDivideByZero)
{
    // A radial gradient reaches past its length in the corners; those
    // pixels must saturate rather than wrap round to dark.
    QImage img = newBitmap(20, 10);
    GradientFill(img, img.rect(), 0x000000, 0xFFFFFF, gtRadial);
    EXPECT_EQ(qRed(img.pixel(0, 0)), 255);
    // A corner gradient whose length comes out as none shows its start colour.
    QImage far = newBitmap(60, 10);
    GradientFill(far, QRect(40, 0, 20, 10), 0x102030, 0xFFFFFF, gtFromTopLeft);
    EXPECT_EQ(bgr(far.pixel(59, 9)), 0x102030u);

    QImage thin = newBitmap(1, 5);
    GradientFill(thin, thin.rect(), 0x102030, 0xFFFFFF, gtDoubleHorz);
    EXPECT_EQ(bgr(thin.pixel(0, 3)), 0x102030u);
}

TEST(GradientFill, RegionLimitsThePaintedPixelsAndEmptyBitmapIsIgnored)
{
    QImage img = newBitmap(10, 10, 0x0000FF);
    const QRegion region(QRect(0, 0, 5, 10));
    GradientFill(img, img.rect(), 0x000000, 0x0A0A0A, gtHorizontal, &region);
    EXPECT_EQ(bgr(img.pixel(4, 0)), 0x040404u);
    EXPECT_EQ(bgr(img.pixel(5, 0)), 0x0000FFu);

    QImage empty;
    GradientFill(empty, QRect(0, 0, 5, 5), 0, 0xFFFFFF, gtVertical);
    EXPECT_TRUE(empty.isNull());
}

TEST(BlendImages, CopiesWithOffsetAndBlendsByPercent)
{
    const QImage source = newBitmap(10, 10, 0x000000);
    const QImage overlay = newBitmap(10, 10, 0xC8C8C8);
    struct Case
    {
        int percent;
        int expected;
    };
    for (const Case c :
        { Case { 0, 0 }, Case { 50, 100 }, Case { 100, 200 }, Case { 250, 200 }, Case { 25, 50 } }) {
        SCOPED_TRACE(c.percent);
        QImage target = newBitmap(10, 10, 0xFFFFFF);
        BlendImages(target, source, overlay, 1, target.rect(), c.percent);
        EXPECT_EQ(qRed(target.pixel(5, 5)), c.expected);
        if (c.percent == 0) {
            EXPECT_EQ(qRed(target.pixel(0, 0)), 255); // row and column 0 are not covered by the copy
        }
    }
}

TEST(BlendImages, HalfwayValuesRoundToEven)
{
    const QImage white = newBitmap(4, 4, 0xFFFFFF);
    const QImage black = newBitmap(4, 4, 0x000000);
    // 0.9 x 255 = 229.5 goes up to 230; 0.7 x 255 = 178.5 goes down to 178.
    for (auto [percent, expected] : { std::pair { 10, 230 }, std::pair { 30, 178 } }) {
        QImage target = newBitmap(4, 4);
        BlendImages(target, white, black, 0, target.rect(), percent);
        EXPECT_EQ(qRed(target.pixel(2, 2)), expected) << percent;
    }
    // An overlay smaller than the rect only blends where it has pixels.
    QImage target = newBitmap(4, 4, 0xFFFFFF);
    BlendImages(target, white, newBitmap(2, 2, 0x000000), 0, target.rect(), 100);
    EXPECT_EQ(qRed(target.pixel(1, 1)), 0);
    EXPECT_EQ(qRed(target.pixel(3, 3)), 255);
}

TEST(BlendImages, ShiftingAnImageOntoItselfMovesItByTheOffset)
{
    QImage buffer = newBitmap(6, 6, 0x000000);
    buffer.setPixel(0, 0, qRgb(255, 0, 0));
    buffer.setPixel(1, 1, qRgb(0, 255, 0));
    BlendImages(buffer, buffer, buffer, 1, buffer.rect(), 0);
    EXPECT_EQ(buffer.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(buffer.pixel(2, 2), qRgb(0, 255, 0)); // from the snapshot, not the smeared copy
}

TEST(Colorize, GreysAndTints)
{
    QImage img = newBitmap(3, 1);
    img.setPixel(0, 0, qRgb(0, 0, 0));
    img.setPixel(1, 0, qRgb(255, 255, 255));
    img.setPixel(2, 0, qRgb(30, 60, 91)); // grey 60
    Colorize(img, 0x008000);
    EXPECT_EQ(bgr(img.pixel(0, 0)), 0x008000u); // black becomes the tint
    EXPECT_EQ(bgr(img.pixel(1, 0)), 0xFFFFFFu); // white stays white
    EXPECT_EQ(img.pixel(2, 0), qRgb(60, 188, 60));
}

TEST(ShrinkAndSmooth, AverageBlocksAndFillTheInside)
{
    QImage big = newBitmap(12, 12, 0x000000);
    big.setPixel(0, 0, qRgb(255, 255, 255));
    big.setPixel(1, 0, qRgb(255, 255, 255));
    QImage small;
    ShrinkImage(big, small, 3);
    ASSERT_EQ(small.size(), QSize(4, 4));
    EXPECT_EQ(qRed(small.pixel(0, 0)), 56); // 510 / 9 truncated
    EXPECT_EQ(qRed(small.pixel(1, 1)), 0);

    QImage smooth;
    SmoothBorder(big, smooth, 3, 0x0000FF, 2); // h = 1
    EXPECT_EQ(qRed(smooth.pixel(0, 0)), 56);
    EXPECT_EQ(smooth.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(smooth.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(smooth.pixel(3, 3), qRgb(0, 0, 0));

    QImage byFactor; // a band below 1 is the factor: h = 1 again
    SmoothBorder(big, byFactor, 3, 0x0000FF, 0);
    EXPECT_EQ(byFactor, smooth);
}

TEST(TextFormat, FlagsByAlignmentAndWrap)
{
    EXPECT_EQ(TextFormat(taCenter, false), dtNoPrefix | dtEndEllipsis | dtVCenter | dtCenter | dtSingleLine);
    EXPECT_EQ(
        TextFormat(taRightJustify, true), dtNoPrefix | dtEndEllipsis | dtVCenter | dtRight | dtWordBreak);
    EXPECT_EQ(TextFormat(taLeftJustify, false) & (dtRight | dtCenter), 0);
}

TEST(DrawShadowText, ShadowSitsOnePixelRightAndBelow)
{
    QImage img = newBitmap(40, 20, 0x808080);
    QFont font;
    font.setPixelSize(14);
    font.setStyleStrategy(QFont::NoAntialias);
    {
        QPainter p(&img);
        DrawShadowText(p, QStringLiteral("|"), font, 0x000000, true, img.rect(),
            dtCenter | dtVCenter | dtSingleLine, true, 0xFFFFFF);
    }
    // Some column holds black text with a white pixel below-right of it.
    bool found = false;
    for (int y = 0; y < 19 && !found; ++y)
        for (int x = 0; x < 39 && !found; ++x)
            found = img.pixel(x, y) == qRgb(0, 0, 0) && img.pixel(x + 1, y + 1) == qRgb(255, 255, 255);
    EXPECT_TRUE(found);
}

TEST(PanelLook, AntialiasingKeepsFactorThreeAndTheBand)
{
    RbPanelLook look;
    look.width = 80;
    look.height = 60;
    look.cornerWidth = 10;
    look.color = 0x00FF00;
    const QImage work = look.WorkImage();
    ASSERT_EQ(work.size(), QSize(240, 180));
    const QImage panel = look.PanelImage();
    ASSERT_EQ(panel.size(), QSize(80, 60));
    const int h = look.band(); // (10 + 20) / 2
    ASSERT_EQ(h, 15);
    QImage shrunk;
    ShrinkImage(work, shrunk, 3);
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            const bool inBand = x < h || y < h || x >= 80 - h || y >= 60 - h;
            if (inBand)
                ASSERT_EQ(panel.pixel(x, y), shrunk.pixel(x, y)) << x << "," << y;
            else
                ASSERT_EQ(panel.pixel(x, y), qRgb(0, 255, 0)) << x << "," << y;
        }
    }
    // The corner shows the outer colour, the edge a blend of border and face.
    EXPECT_EQ(panel.pixel(0, 0), toQColor(look.outerColor).rgb());
    EXPECT_NE(panel.pixel(0, 30), panel.pixel(40, 30));
}

TEST(PanelLook, GradientFaceWithoutAntialiasingAndGroupBoxClientArea)
{
    RbPanelLook look;
    look.width = 60;
    look.height = 40;
    look.antialiased = false;
    look.gradient = true;
    look.defaultFrom = 0x000000;
    look.defaultTo = 0xFFFFFF;
    const QImage panel = look.PanelImage();
    ASSERT_EQ(panel.size(), QSize(60, 40));
    EXPECT_LT(qRed(panel.pixel(30, 5)), qRed(panel.pixel(30, 34)));

    look.groupBox = true;
    look.captionTextHeight = 14;
    look.borderWidth = 2;
    EXPECT_EQ(look.ClientMargins(), QMargins(3, 15, 3, 3));
    look.groupBox = false;
    EXPECT_EQ(look.ClientMargins(), QMargins(3, 3, 3, 3));
}

} // namespace
