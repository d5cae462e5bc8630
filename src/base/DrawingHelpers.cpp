#include "base/DrawingHelpers.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

struct Channels
{
    double red = 0, green = 0, blue = 0;
};

// Split the way the colour's numeric value is laid out: blue above green
// above red. Exact for whole colour values.
Channels split(double color)
{
    Channels c;
    c.blue = std::trunc(color / 65536.0);
    c.green = std::trunc((color - c.blue * 65536.0) / 256.0);
    c.red = color - c.blue * 65536.0 - c.green * 256.0;
    return c;
}

int channelByte(double value)
{
    return std::clamp(int(std::trunc(value)), 0, 255);
}

} // namespace

void DrawingHelpers::Degrade(QImage &image, bool Vertical, double FromColor, double ToColor)
{
    const int length = Vertical ? image.height() : image.width();
    if (length <= 0)
        return;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB
        || image.format() == QImage::Format_Indexed8)
        image = image.convertToFormat(QImage::Format_RGB32);

    Channels current = split(FromColor);
    const Channels to = split(ToColor);
    const Channels step { (to.red - current.red) / length, (to.green - current.green) / length,
        (to.blue - current.blue) / length };

    QPainter painter(&image);
    // Line `length` would lie one past the image; only lines inside are drawn.
    for (int k = 0; k < length; ++k) {
        const QColor color(channelByte(current.red), channelByte(current.green), channelByte(current.blue));
        if (Vertical)
            painter.fillRect(QRect(0, k, image.width(), 1), color);
        else
            painter.fillRect(QRect(k, 0, 1, image.height()), color);
        current.red += step.red;
        current.green += step.green;
        current.blue += step.blue;
    }
}

bool DrawingHelpers::BITMAP_REDIMENSIONAR(const QImage &Source, QImage &Target, double Ratio)
{
    if (Source.isNull() || !std::isfinite(Ratio) || Ratio <= 0)
        return false;
    const QImage source
        = Source.format() == QImage::Format_RGB888 ? Source : Source.convertToFormat(QImage::Format_RGB888);
    const int sw = source.width();
    const int sh = source.height();

    // Round half to even, at least one pixel; a huge ratio is bounded so the
    // size stays an int (allocation then fails cleanly instead).
    const auto side = [Ratio](int extent) {
        const double v = std::nearbyint(std::min(double(extent) * Ratio, 1.0e9));
        return std::max(1, int(v));
    };
    const int tw = side(sw);
    const int th = side(sh);
    QImage target(tw, th, QImage::Format_RGB888);
    if (target.isNull())
        return false;

    const double sx = double(sw) / tw;
    const double sy = double(sh) / th;
    const auto clip = [](double v, int last) { return std::min(int(std::nearbyint(v)), last); };

    for (int y = 0; y < th; ++y) {
        const int y0 = clip(y * sy, sh - 1);
        const int y1 = clip(y * sy + sy, sh - 1);
        uchar *out = target.scanLine(y);
        for (int x = 0; x < tw; ++x) {
            const int x0 = clip(x * sx, sw - 1);
            const int x1 = clip(x * sx + sx, sw - 1);
            qint64 sum[3] = { 0, 0, 0 };
            for (int yy = y0; yy <= y1; ++yy) {
                const uchar *row = source.constScanLine(yy);
                for (int xx = x0; xx <= x1; ++xx) {
                    sum[0] += row[xx * 3];
                    sum[1] += row[xx * 3 + 1];
                    sum[2] += row[xx * 3 + 2];
                }
            }
            const qint64 count = qint64(y1 - y0 + 1) * (x1 - x0 + 1);
            for (int c = 0; c < 3; ++c)
                out[x * 3 + c] = uchar(sum[c] / count);
        }
    }
    Target = target;
    return true;
}
