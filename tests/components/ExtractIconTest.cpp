#include "components/ExtractIcon.h"

#include "IconFiles.h"
#include "support/QtPrinters.h"

#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ExtractIconFixture : testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(IconFiles::writeIco(path("three.ico"),
            { IconFiles::square(16, Qt::red), IconFiles::square(32, Qt::green),
                IconFiles::square(48, Qt::blue) }));
        ASSERT_TRUE(IconFiles::writePng(path("one.png"), IconFiles::square(24, Qt::yellow)));
        ASSERT_TRUE(IconFiles::writeText(path("readme.txt"), "no picture here\n"));
        ASSERT_TRUE(IconFiles::writeText(
            path("program.exe"), QByteArray("MZ\x90\0\3\0\0\0", 8) + QByteArray(200, '\0')));
        ASSERT_TRUE(IconFiles::writeText(path("round.svg"),
            "<svg xmlns='http://www.w3.org/2000/svg' width='100' height='100'>"
            "<circle cx='50' cy='50' r='40' fill='red'/></svg>"));
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(ExtractIconFixture, EachIndexOfAnIcoFileIsItsOwnImage)
{
    const struct
    {
        int index;
        int size;
        QRgb colour;
    } cases[] = {
        { 0, 16, qRgb(255, 0, 0) },
        { 1, 32, qRgb(0, 255, 0) },
        { 2, 48, qRgb(0, 0, 255) },
    };
    for (const auto &c : cases) {
        const QImage icon = ExtractIcon(path("three.ico"), c.index);
        ASSERT_FALSE(icon.isNull()) << "index " << c.index;
        EXPECT_EQ(icon.size(), QSize(c.size, c.size));
        EXPECT_EQ(icon.pixel(c.size / 2, c.size / 2) & 0xFFFFFF, c.colour & 0xFFFFFF);
    }
    EXPECT_TRUE(ExtractIcon(path("three.ico"), 3).isNull());
}

TEST_F(ExtractIconFixture, FilesWithoutThatIconGiveNone)
{
    const struct
    {
        const char *file;
        int index;
    } cases[] = {
        { "three.ico", -1 }, // a resource identifier: no resources here
        { "three.ico", -3 },
        { "one.png", 1 }, // a single picture has only index 0
        { "readme.txt", 0 },
        { "program.exe", 0 },
        { "missing.ico", 0 },
    };
    for (const auto &c : cases)
        EXPECT_TRUE(ExtractIcon(path(c.file), c.index).isNull()) << c.file << " #" << c.index;
    EXPECT_TRUE(ExtractIcon(QString(), 0).isNull());
}

TEST_F(ExtractIconFixture, SinglePicturesAreIndexZero)
{
    const QImage png = ExtractIcon(path("one.png"), 0);
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(24, 24));

    if (!QImageReader::supportedImageFormats().contains("svg"))
        GTEST_SKIP() << "Qt's SVG image plug-in is not installed";
    const QImage svg = ExtractIcon(path("round.svg"), 0);
    ASSERT_FALSE(svg.isNull());
    EXPECT_EQ(svg.size(), QSize(32, 32)); // drawn at the large icon size
}
