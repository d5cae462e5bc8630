#include "contacts/JpegCodec.h"

#include "base/ErrorReport.h"
#include "support/QtPrinters.h"

#include <QColor>
#include <QPainter>

#include <gtest/gtest.h>

#include <limits>

namespace {

QImage quarters(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height / 2, Qt::red);
    p.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    p.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    p.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::white);
    return image;
}

bool near(QRgb a, QRgb b, int tolerance = 12)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

TEST(JpegCodec, RoundTripKeepsSizeAndColours)
{
    const QImage source = quarters(80, 94);
    const QByteArray bytes = JpegCodec::encode(source, 100);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_EQ(bytes.left(2), QByteArray("\xFF\xD8", 2));
    const std::optional<QImage> decoded = JpegCodec::decode(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->size(), QSize(80, 94));
    EXPECT_TRUE(near(decoded->pixel(10, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(decoded->pixel(70, 10), qRgb(0, 255, 0)));
    EXPECT_TRUE(near(decoded->pixel(10, 80), qRgb(0, 0, 255)));
    EXPECT_TRUE(near(decoded->pixel(70, 80), qRgb(255, 255, 255)));
    // Format_RGB32 words carry 0xFF in their top byte, whatever wrote them.
    for (int y : { 0, 93 }) {
        const auto *line = reinterpret_cast<const QRgb *>(decoded->constScanLine(y));
        EXPECT_EQ(line[0] >> 24, 0xFFu);
        EXPECT_EQ(line[79] >> 24, 0xFFu);
    }
}

TEST(JpegCodec, QualityChangesTheEncoding)
{
    QImage noisy(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            noisy.setPixel(x, y, qRgb((x * 37 + y * 11) & 0xFF, (x * y) & 0xFF, (x ^ y) * 4 & 0xFF));
    EXPECT_GT(JpegCodec::encode(noisy, 100).size(), JpegCodec::encode(noisy, 10).size());
}

TEST(JpegCodec, GreyscalePicturesDecodeToRgb)
{
    QImage grey(16, 8, QImage::Format_Grayscale8);
    grey.fill(200);
    // A greyscale source still goes through RGB; what matters is that a
    // one-component stream decodes.
    const std::optional<QImage> decoded = JpegCodec::decode(JpegCodec::encode(grey, 90));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(near(decoded->pixel(3, 3), qRgb(200, 200, 200)));
}

// Bytes libjpeg cannot read must come back as a failure with a reason, never
// end the process and never give a picture.
TEST(JpegCodec, BadStreamsAreFailures)
{
    const QByteArray good = JpegCodec::encode(quarters(40, 30), 90);
    ASSERT_GT(good.size(), 200);
    QByteArray badMarker = good;
    // The frame marker SOF0 becomes SOF15 (lossless arithmetic), which
    // libjpeg does not decode.
    badMarker[good.indexOf(QByteArray("\xFF\xC0", 2)) + 1] = char(0xCF);
    const qsizetype scanStart = good.indexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(scanStart, 0);
    const qsizetype inScan = scanStart + (good.size() - scanStart) * 3 / 4;
    QByteArray badHuffman = good;
    for (qsizetype i = good.size() / 2; i < good.size() - 2; ++i)
        badHuffman[i] = char(0xFF);

    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        { "empty", QByteArray() },
        { "html error page", QByteArray("<html><body>404 Not Found</body></html>") },
        { "only the start marker", QByteArray("\xFF\xD8", 2) },
        { "cut in the header", good.left(20) },
        { "cut in the scan", good.left(good.size() * 2 / 3) },
        // The end marker halfway through the entropy data: libjpeg would
        // pad the rest with grey.
        { "scan cut by a marker", good.left(inScan) + QByteArray("\xFF\xD9", 2) },
        { "corrupt marker", badMarker },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString why;
        EXPECT_FALSE(JpegCodec::decode(c.bytes, &why).has_value());
        EXPECT_TRUE(why.startsWith(QStringLiteral("JPEG error"))) << why.toStdString();
    }
    // Damaged entropy data: libjpeg may or may not notice, but it must
    // return and give either a failure or a picture of the declared size.
    const std::optional<QImage> damaged = JpegCodec::decode(badHuffman);
    if (damaged) {
        EXPECT_EQ(damaged->size(), QSize(40, 30));
    }
}

TEST(JpegCodec, HugeDeclaredSizeIsRefusedBeforeAllocating)
{
    QByteArray bytes = JpegCodec::encode(quarters(16, 16), 90);
    // Rewrite the frame header (SOF0: FF C0, length, precision, height, width).
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    // 16000 x 16000: within libjpeg's own limit of 65500 per side, far
    // beyond ours.
    bytes[sof + 5] = char(0x3E);
    bytes[sof + 6] = char(0x80);
    bytes[sof + 7] = char(0x3E);
    bytes[sof + 8] = char(0x80);
    QString why;
    EXPECT_FALSE(JpegCodec::decode(bytes, &why).has_value());
    EXPECT_EQ(why, QStringLiteral("JPEG error: picture too large"));
    // A caller's larger bound does not lift the general one.
    EXPECT_FALSE(JpegCodec::decode(bytes, &why, std::numeric_limits<qint64>::max()).has_value());
    EXPECT_EQ(why, QStringLiteral("JPEG error: picture too large"));
}

// A little damage libjpeg can live with still gives the picture; a stream
// that is mostly damage is refused rather than warned about at length.
TEST(JpegCodec, ManyWarningsMakeABrokenStream)
{
    const QByteArray good = JpegCodec::encode(quarters(24, 16), 90);
    // Stray bytes before a comment marker: one "extraneous bytes" warning each.
    const auto withStrays = [&good](int count) {
        QByteArray bytes = good.left(2);
        for (int i = 0; i < count; ++i)
            bytes += QByteArray("xx\xFF\xFE\x00\x02", 6);
        return bytes + QByteArray("xx") + good.mid(2);
    };
    const std::optional<QImage> slightly = JpegCodec::decode(withStrays(3));
    ASSERT_TRUE(slightly.has_value());
    EXPECT_EQ(slightly->size(), QSize(24, 16));
    QString why;
    EXPECT_FALSE(JpegCodec::decode(withStrays(200), &why).has_value());
    EXPECT_TRUE(why.startsWith(QStringLiteral("JPEG error: Corrupt JPEG data"))) << why.toStdString();
}

// Avatars from the service have a bound of their own, far below the
// pictures a member may choose on disk.
TEST(JpegCodec, TheCallerChoosesHowLargeAPictureMayBe)
{
    const QByteArray wide = JpegCodec::encode(quarters(1025, 1024), 50);
    const QByteArray square = JpegCodec::encode(quarters(1024, 1024), 50);
    QString why;
    EXPECT_FALSE(JpegCodec::decode(wide, &why, JpegCodec::kMaxAvatarPixels).has_value());
    EXPECT_EQ(why, QStringLiteral("JPEG error: picture too large"));
    EXPECT_EQ(JpegCodec::decode(square, &why, JpegCodec::kMaxAvatarPixels)->size(), QSize(1024, 1024));
    EXPECT_EQ(JpegCodec::decode(wide)->size(), QSize(1025, 1024));
    EXPECT_THROW(JpegCodec::decodeOrThrow(wide, JpegCodec::kMaxAvatarPixels), VoxlaneError);
    EXPECT_FALSE(JpegCodec::decode(JpegCodec::encode(quarters(2, 1), 50), &why, 1).has_value());
}

TEST(JpegCodec, DecodeOrThrowRaisesTheGeneralError)
{
    EXPECT_THROW(JpegCodec::decodeOrThrow(QByteArray("not a picture")), VoxlaneError);
    EXPECT_EQ(JpegCodec::decodeOrThrow(JpegCodec::encode(quarters(4, 4), 80)).size(), QSize(4, 4));
}

TEST(JpegCodec, EmptyPictureDoesNotEncode)
{
    QString why;
    EXPECT_TRUE(JpegCodec::encode(QImage(), 100, &why).isEmpty());
    EXPECT_FALSE(why.isEmpty());
}

} // namespace
