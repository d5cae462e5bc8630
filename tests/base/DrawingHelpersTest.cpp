#include "base/DrawingHelpers.h"

#include <gtest/gtest.h>

namespace {

TEST(Degrade, VerticalRowsOnATenPixelImageStepByOne)
{
    QImage image(4, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    DrawingHelpers::Degrade(image, true, 0x000000, 0x0A0A0A);
    for (int y = 0; y < 10; ++y) {
        for (int x : { 0, 3 }) {
            const QColor c = image.pixelColor(x, y);
            EXPECT_EQ(c.red(), y) << "row " << y;
            EXPECT_EQ(c.green(), y) << "row " << y;
            EXPECT_EQ(c.blue(), y) << "row " << y;
        }
    }
}

TEST(Degrade, HorizontalChannelsFollowTheColourLayout)
{
    // 0x00BBGGRR: from pure red to pure blue over 5 columns.
    QImage image(5, 2, QImage::Format_RGB32);
    DrawingHelpers::Degrade(image, false, 0x0000FF, 0xFF0000);
    const int expectedRed[] = { 255, 204, 153, 102, 51 };
    for (int x = 0; x < 5; ++x) {
        const QColor c = image.pixelColor(x, 1);
        EXPECT_EQ(c.red(), expectedRed[x]) << "column " << x;
        EXPECT_EQ(c.blue(), 255 - expectedRed[x]) << "column " << x;
        EXPECT_EQ(c.green(), 0);
    }
    // The transfer panel's background: first row exactly the start colour,
    // the last row one step short of the end colour (truncated).
    QImage panel(3, 4, QImage::Format_RGB32);
    DrawingHelpers::Degrade(panel, true, 12119799, 9754338);
    EXPECT_EQ(panel.pixelColor(0, 0), QColor(0xF7, 0xEE, 0xB8));
    EXPECT_EQ(panel.pixelColor(0, 3), QColor(0xE7, 0xDC, 0x9D));
}

TEST(Degrade, AnImageWithoutExtentIsLeftAlone)
{
    QImage image(0, 5, QImage::Format_RGB32);
    DrawingHelpers::Degrade(image, false, 0, 0xFFFFFF);
    EXPECT_EQ(image.width(), 0);
    QImage none;
    DrawingHelpers::Degrade(none, true, 0, 0xFFFFFF);
    EXPECT_TRUE(none.isNull());
}

QImage gradientPicture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, QColor((x * 7 + y) % 256, (y * 3) % 256, (x + y * 5) % 256));
    return img;
}

TEST(BitmapRedimensionar, TargetSizesRoundHalfToEvenAndNeverVanish)
{
    const struct
    {
        int w, h;
        double ratio;
        int tw, th;
    } cases[] = {
        { 100, 80, 0.75, 75, 60 },
        { 100, 80, 0.001, 1, 1 },
        { 5, 3, 0.5, 2, 2 }, // 2.5 -> 2, 1.5 -> 2
        { 7, 9, 0.5, 4, 4 },
        { 1, 1, 3.0, 3, 3 },
        { 40, 40, 1.0, 40, 40 },
    };
    for (const auto &c : cases) {
        QImage target;
        ASSERT_TRUE(DrawingHelpers::BITMAP_REDIMENSIONAR(gradientPicture(c.w, c.h), target, c.ratio));
        EXPECT_EQ(target.size(), QSize(c.tw, c.th)) << c.w << "x" << c.h << " * " << c.ratio;
        EXPECT_EQ(target.depth(), 24);
    }
}

TEST(BitmapRedimensionar, ATinyRatioAveragesTheWholePictureTruncating)
{
    const QImage source = gradientPicture(100, 80);
    qint64 sum[3] = { 0, 0, 0 };
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const QColor c = source.pixelColor(x, y);
            sum[0] += c.red();
            sum[1] += c.green();
            sum[2] += c.blue();
        }
    QImage target;
    ASSERT_TRUE(DrawingHelpers::BITMAP_REDIMENSIONAR(source, target, 0.001));
    const QColor c = target.pixelColor(0, 0);
    EXPECT_EQ(c.red(), sum[0] / 8000);
    EXPECT_EQ(c.green(), sum[1] / 8000);
    EXPECT_EQ(c.blue(), sum[2] / 8000);
}

TEST(BitmapRedimensionar, HalvingAveragesThreeByThreeBlocksSharingTheirBorders)
{
    // 6 x 6 with values 0..35 in the red channel: target (x, y) averages
    // source columns 2x..2x+2 and rows 2y..2y+2, cut at the last pixel.
    QImage source(6, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            source.setPixelColor(x, y, QColor(y * 6 + x, 10 * (x == 2 && y == 2), 0));
    QImage target;
    ASSERT_TRUE(DrawingHelpers::BITMAP_REDIMENSIONAR(source, target, 0.5));
    ASSERT_EQ(target.size(), QSize(3, 3));
    const auto average = [&](int x0, int x1, int y0, int y1, bool red) {
        int sum = 0, n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x, ++n)
                sum += red ? y * 6 + x : 10 * (x == 2 && y == 2);
        return sum / n;
    };
    EXPECT_EQ(target.pixelColor(0, 0).red(), average(0, 2, 0, 2, true)); // 7
    EXPECT_EQ(target.pixelColor(1, 0).red(), average(2, 4, 0, 2, true));
    EXPECT_EQ(target.pixelColor(2, 2).red(), average(4, 5, 4, 5, true)); // last block: 2 x 2
    EXPECT_EQ(target.pixelColor(1, 1).red(), average(2, 4, 2, 4, true));
    // The shared border pixel (2, 2) counts in four blocks; 10 / 9 truncates to 1.
    EXPECT_EQ(target.pixelColor(0, 0).green(), 1);
    EXPECT_EQ(target.pixelColor(1, 1).green(), 1);
    EXPECT_EQ(target.pixelColor(2, 2).green(), 0);
    EXPECT_EQ(target.pixelColor(0, 0).red(), 7);
}

TEST(BitmapRedimensionar, BadInputLeavesTheTargetUnchanged)
{
    QImage target(2, 2, QImage::Format_RGB888);
    target.fill(Qt::red);
    EXPECT_FALSE(DrawingHelpers::BITMAP_REDIMENSIONAR(QImage(), target, 0.5));
    EXPECT_FALSE(DrawingHelpers::BITMAP_REDIMENSIONAR(gradientPicture(4, 4), target, 0.0));
    EXPECT_FALSE(DrawingHelpers::BITMAP_REDIMENSIONAR(gradientPicture(4, 4), target, std::nan("")));
    EXPECT_EQ(target.size(), QSize(2, 2));
    EXPECT_EQ(target.pixelColor(1, 1), QColor(Qt::red));
}

} // namespace
