#include "components/RbDrawCore.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace RbDrawCore {

namespace {

int red(quint32 c)
{
    return int(c & 0xFF);
}
int green(quint32 c)
{
    return int((c >> 8) & 0xFF);
}
int blue(quint32 c)
{
    return int((c >> 16) & 0xFF);
}

quint8 toByte(double value)
{
    // Ties go to even, as the platform's rounding does. Channels that a
    // corner or radial gradient pushes past its end colour are held at the
    // byte's limits instead of wrapping round to the opposite colour.
    const double r = std::nearbyint(value);
    return quint8(std::clamp(r, 0.0, 255.0));
}

QRgb *row(QImage &image, int y)
{
    return reinterpret_cast<QRgb *>(image.scanLine(y));
}
const QRgb *row(const QImage &image, int y)
{
    return reinterpret_cast<const QRgb *>(image.constScanLine(y));
}

void ensureRgb32(QImage &image)
{
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

int fadePeriod(TFadeSpeed speed)
{
    switch (speed) {
    case fsSlow:
        return 40;
    case fsMedium:
        return 20;
    case fsFast:
        return 12;
    case fsVeryFast:
        return 8;
    }
    return 20;
}

int radioSize(TRadioSize size)
{
    return 11 + 2 * int(size);
}
int radioInset(TRadioSize size)
{
    return 2 + int(size);
}

quint32 ColorToRGB(quint32 color)
{
    if ((color >> 24) != 0xFF)
        return color & 0xFFFFFF;
    // System colours come from the application's palette so that the
    // controls follow the desktop theme like the platform's own controls.
    const QPalette palette = QGuiApplication::palette();
    QColor c;
    switch (color & 0xFF) {
    case 5: // window
        c = palette.color(QPalette::Base);
        break;
    case 6: // window frame
    case 7: // menu text
    case 8: // window text
    case 18: // button text
        c = palette.color(QPalette::WindowText);
        break;
    case 13: // highlight
        c = palette.color(QPalette::Highlight);
        break;
    case 14: // highlighted text
        c = palette.color(QPalette::HighlightedText);
        break;
    case 16: // button shadow
        c = palette.color(QPalette::Dark);
        break;
    case 17: // grey text
        c = palette.color(QPalette::Disabled, QPalette::Text);
        break;
    case 20: // button highlight
        c = palette.color(QPalette::Light);
        break;
    case 21: // 3D dark shadow
        c = palette.color(QPalette::Shadow);
        break;
    default: // button face and the rest
        c = palette.color(QPalette::Button);
        break;
    }
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

QColor toQColor(quint32 color)
{
    const quint32 rgb = ColorToRGB(color);
    return QColor(red(rgb), green(rgb), blue(rgb));
}

QImage newBitmap(int width, int height, quint32 color)
{
    QImage image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    image.fill(toQColor(color));
    return image;
}

void GradientFill(QImage &bitmap, const QRect &rect, quint32 fromColor, quint32 toColor, TGradientType kind,
    const QRegion *region)
{
    if (bitmap.width() < 1 || bitmap.height() < 1)
        return;
    ensureRgb32(bitmap);
    // Rect follows the platform's convention: Right and Bottom are exclusive.
    const int left = rect.x();
    const int top = rect.y();
    const int right = rect.x() + rect.width();
    const int bottom = rect.y() + rect.height();
    QRegion area(QRect(left, top, right - left, bottom - top));
    area &= QRegion(bitmap.rect());
    if (region)
        area &= *region;

    if (fromColor == toColor) {
        const QRgb flat = toQColor(fromColor).rgb();
        for (const QRect &r : area)
            for (int y = r.top(); y <= r.bottom(); ++y)
                std::fill(row(bitmap, y) + r.left(), row(bitmap, y) + r.right() + 1, flat);
        return;
    }

    const quint32 from = ColorToRGB(fromColor);
    const quint32 to = ColorToRGB(toColor);
    const int w = right - left;
    const int h = bottom - top;
    int d = 0;
    switch (kind) {
    case gtHorizontal:
        d = w;
        break;
    case gtVertical:
        d = h;
        break;
    case gtFromTopLeft:
    case gtFromTopRight:
        d = int(std::nearbyint(std::sqrt(double(w) * w + double(h) * h))) - left;
        break;
    case gtRadial:
        d = (int(std::nearbyint(std::sqrt(double(w) * w + double(h) * h))) - left) / 2;
        break;
    case gtDoubleHorz:
        d = w / 2;
        break;
    case gtDoubleVert:
        d = h / 2;
        break;
    }
    // A gradient of no length (one pixel wide, or a corner kind far from the
    // origin) would divide by zero: such a rectangle shows its start colour.
    auto stepOf = [d](int a, int b) {
        if (d <= 0)
            return 0.0;
        return std::min(double(b - a) / double(d), 255.0);
    };
    const double sr = stepOf(red(from), red(to));
    const double sg = stepOf(green(from), green(to));
    const double sb = stepOf(blue(from), blue(to));

    for (const QRect &r : area) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            QRgb *line = row(bitmap, y);
            for (int x = r.left(); x <= r.right(); ++x) {
                double t = 0;
                switch (kind) {
                case gtHorizontal:
                    t = x - left;
                    break;
                case gtVertical:
                    t = y - top;
                    break;
                case gtFromTopLeft:
                    t = std::sqrt(double(x - left) * (x - left) + double(y - top) * (y - top));
                    break;
                case gtFromTopRight:
                    t = std::sqrt(double(right - x) * (right - x) + double(y - top) * (y - top));
                    break;
                case gtRadial:
                    t = std::sqrt(double(w / 2 - x) * (w / 2 - x) + double(y - h / 2) * (y - h / 2));
                    break;
                case gtDoubleHorz:
                    t = std::abs(x - left - d);
                    break;
                case gtDoubleVert:
                    t = std::abs(y - top - d);
                    break;
                }
                line[x] = qRgb(
                    toByte(sr * t + red(from)), toByte(sg * t + green(from)), toByte(sb * t + blue(from)));
            }
        }
    }
}

namespace {

// round(((100 - percent) * a + percent * b) / 100), ties to even: the
// blend of the description computed exactly in integers.
inline int blendByte(int a, int b, int percent)
{
    const int n = (100 - percent) * a + percent * b;
    int q = n / 100;
    const int r = n % 100;
    if (r > 50 || (r == 50 && (q & 1)))
        ++q;
    return q;
}

} // namespace

void BlendImages(
    QImage &target, const QImage &source, const QImage &overlay, int offset, const QRect &rect, int percent)
{
    ensureRgb32(target);
    // The button shifts its own face by blending the buffer onto itself:
    // copy from a snapshot so that the overlapping rows are not smeared.
    const QImage src = ((&source == &target) ? source.copy() : source).convertToFormat(QImage::Format_RGB32);
    {
        const int dx = rect.x() + offset;
        const int dy = rect.y() + offset;
        // Clip the copied block to both images once, not per pixel.
        const int x0 = std::max(0, -dx);
        const int x1 = std::min({ rect.width() - offset, src.width(), target.width() - dx });
        const int y0 = std::max(0, -dy);
        const int y1 = std::min({ rect.height() - offset, src.height(), target.height() - dy });
        for (int y = y0; y < y1; ++y) {
            QRgb *t = row(target, dy + y) + dx;
            const QRgb *s = row(src, y);
            for (int x = x0; x < x1; ++x)
                t[x] = s[x] | 0xFF000000u;
        }
    }
    if (percent <= 0)
        return;
    percent = std::min(percent, 100);
    const QImage over = overlay.convertToFormat(QImage::Format_RGB32);
    // Target pixels inside rect that have an overlay pixel.
    const QRect area = rect & target.rect() & QRect(rect.topLeft(), over.size());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        QRgb *t = row(target, y);
        const QRgb *o = row(over, y - rect.y()) - rect.x();
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb a = t[x];
            const QRgb b = o[x];
            t[x] = qRgb(blendByte(qRed(a), qRed(b), percent), blendByte(qGreen(a), qGreen(b), percent),
                blendByte(qBlue(a), qBlue(b), percent));
        }
    }
}

void DrawShadowText(QPainter &canvas, const QString &text, const QFont &font, quint32 fontColor, bool enabled,
    const QRect &rect, int format, bool shadow, quint32 shadowColor)
{
    canvas.save();
    canvas.setFont(font);
    int flags = 0;
    if (format & dtRight)
        flags |= Qt::AlignRight;
    else if (format & dtCenter)
        flags |= Qt::AlignHCenter;
    else
        flags |= Qt::AlignLeft;
    if (format & dtVCenter)
        flags |= Qt::AlignVCenter;
    else if (format & dtBottom)
        flags |= Qt::AlignBottom;
    else
        flags |= Qt::AlignTop;
    if (format & dtWordBreak)
        flags |= Qt::TextWordWrap;
    else if (format & dtSingleLine)
        flags |= Qt::TextSingleLine;
    // "&" is an ordinary character here: no accelerator prefixes.
    QString shown = text;
    if ((format & dtEndEllipsis) && !(format & dtWordBreak))
        shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, std::max(rect.width(), 0));

    auto draw = [&](const QRect &r, const QColor &c) {
        canvas.setPen(c);
        canvas.drawText(r, flags, shown);
    };
    const QRect shadowRect = rect.translated(1, 1);
    if (enabled) {
        if (shadow)
            draw(shadowRect, toQColor(shadowColor));
        draw(rect, toQColor(fontColor));
    } else {
        draw(shadowRect, toQColor(0xFF000014u)); // button highlight
        draw(rect, toQColor(0xFF000010u)); // button shadow
    }
    canvas.restore();
}

int TextFormat(TAlignment alignment, bool wordWrap)
{
    int flags = dtNoPrefix | dtEndEllipsis | dtVCenter;
    flags |= int(alignment) == 1 ? dtRight : int(alignment) == 2 ? dtCenter : dtLeft;
    flags |= wordWrap ? dtWordBreak : dtSingleLine;
    return flags;
}

void Colorize(QImage &bitmap, quint32 tint)
{
    ensureRgb32(bitmap);
    const quint32 t = ColorToRGB(tint);
    for (int y = 0; y < bitmap.height(); ++y) {
        QRgb *line = row(bitmap, y);
        for (int x = 0; x < bitmap.width(); ++x) {
            const int g = (qRed(line[x]) + qGreen(line[x]) + qBlue(line[x])) / 3;
            line[x]
                = qRgb(std::min(255, g + red(t)), std::min(255, g + green(t)), std::min(255, g + blue(t)));
        }
    }
}

namespace {

QRgb blockAverage(const QImage &source, int tx, int ty, int factor)
{
    int r = 0, g = 0, b = 0;
    const int x0 = tx * factor;
    const int y0 = ty * factor;
    for (int y = y0; y < y0 + factor; ++y) {
        const QRgb *line = row(source, y);
        for (int x = x0; x < x0 + factor; ++x) {
            r += qRed(line[x]);
            g += qGreen(line[x]);
            b += qBlue(line[x]);
        }
    }
    const int n = factor * factor;
    return qRgb(r / n, g / n, b / n);
}

bool prepareShrink(const QImage &source, QImage &target, int factor)
{
    if (factor < 1 || source.isNull())
        return false;
    const int w = source.width() / factor;
    const int h = source.height() / factor;
    if (target.width() != w || target.height() != h || target.format() != QImage::Format_RGB32)
        target = QImage(w, h, QImage::Format_RGB32);
    return true;
}

} // namespace

void ShrinkImage(const QImage &sourceImage, QImage &target, int factor)
{
    const QImage source = sourceImage.convertToFormat(QImage::Format_RGB32);
    if (!prepareShrink(source, target, factor))
        return;
    for (int y = 0; y < target.height(); ++y) {
        QRgb *line = row(target, y);
        for (int x = 0; x < target.width(); ++x)
            line[x] = blockAverage(source, x, y, factor);
    }
}

void SmoothBorder(const QImage &sourceImage, QImage &target, int factor, quint32 fillColor, int band)
{
    const QImage source = sourceImage.convertToFormat(QImage::Format_RGB32);
    if (!prepareShrink(source, target, factor))
        return;
    if (band < 1)
        band = factor;
    const int h = band / 2;
    const int w = target.width();
    const int ht = target.height();
    const QRgb fill = toQColor(fillColor).rgb();
    // Only the band along the edges is averaged; the inside is one colour,
    // which keeps large panels cheap.
    for (int y = 0; y < ht; ++y) {
        QRgb *line = row(target, y);
        const bool edgeRow = y < h || y >= ht - h;
        for (int x = 0; x < w; ++x) {
            if (edgeRow || x < h || x >= w - h)
                line[x] = blockAverage(source, x, y, factor);
            else
                line[x] = fill;
        }
    }
}

void DrawTransparent(QPainter &canvas, int x, int y, const QImage &bitmap)
{
    if (bitmap.isNull())
        return;
    QImage image = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1) | 0xFF000000u;
    for (int yy = 0; yy < image.height(); ++yy) {
        QRgb *line = row(image, yy);
        for (int xx = 0; xx < image.width(); ++xx)
            if ((line[xx] | 0xFF000000u) == key)
                line[xx] = 0;
    }
    canvas.drawImage(x, y, image);
}

QImage CheckMarkBitmap()
{
    static const char *const rows[8] = {
        "........",
        ".......#",
        "......##",
        "#....##.",
        "##..##..",
        ".####...",
        "..##....",
        "........",
    };
    QImage image(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            image.setPixel(x, y, rows[y][x] == '#' ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

QImage RadioDotBitmap()
{
    // A shaded dot: darkest toward the lower right, lighter at the upper left.
    QImage image(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const double dx = x - 3.5;
            const double dy = y - 3.5;
            if (dx * dx + dy * dy > 12.5) {
                image.setPixel(x, y, qRgb(255, 255, 255));
                continue;
            }
            const int shade = std::clamp(int(60 - (x + y) * 6), 0, 80);
            image.setPixel(x, y, qRgb(shade, shade, shade));
        }
    }
    return image;
}

} // namespace RbDrawCore
