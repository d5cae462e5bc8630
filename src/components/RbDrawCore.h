#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QString>

class QFont;
class QPainter;

// Pixel routines shared by the styled controls. They work on QImage in
// Format_RGB32 (the 24-bit bitmaps of the family) and never touch a widget,
// so they can be checked pixel by pixel without a window.

enum TGradientType {
    gtHorizontal,
    gtVertical,
    gtFromTopLeft,
    gtFromTopRight,
    gtRadial,
    gtDoubleHorz,
    gtDoubleVert
};

enum TFadeSpeed { fsSlow, fsMedium, fsFast, fsVeryFast };

enum TBorderLine { blTop = 1, blBottom = 2, blLeft = 4, blRight = 8 };
using TBorderLines = int; // set of TBorderLine bits
constexpr TBorderLines kAllBorderLines = blTop | blBottom | blLeft | blRight;

enum TRbCaptionPos {
    cpGroupBox,
    cpTopLeft,
    cpTopCenter,
    cpTopRight,
    cpMiddleLeft,
    cpMiddleCenter,
    cpMiddleRight,
    cpBottomLeft,
    cpBottomCenter,
    cpBottomRight
};

enum TRadioSize { rsSmall, rsMedium, rsLarge };

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

enum TProgressBarOrientation { pbHorizontal, pbVertical };

enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

// Text-drawing flags, in the spirit of the platform's DrawText flags.
enum RbTextFlag {
    dtLeft = 0,
    dtRight = 1,
    dtCenter = 2,
    dtTop = 0x10,
    dtVCenter = 0x20,
    dtBottom = 0x40,
    dtWordBreak = 0x100,
    dtSingleLine = 0x200,
    dtNoPrefix = 0x400,
    dtEndEllipsis = 0x800
};

namespace RbDrawCore {

constexpr quint32 kButtonFace = 0xFF00000Fu; // system colour of button faces

// Period of the fade timer for a speed: 40, 20, 12 or 8 ms.
int fadePeriod(TFadeSpeed speed);
// Side of a radio circle (11, 13, 15) and the inset of its dot (2, 3, 4).
int radioSize(TRadioSize size);
int radioInset(TRadioSize size);

// A 0x00BBGGRR value (or a system colour, high byte 0xFF) as RGB.
quint32 ColorToRGB(quint32 color);
QColor toQColor(quint32 color);

// An RGB32 image of the given size, filled with colour.
QImage newBitmap(int width, int height, quint32 color = 0);

void GradientFill(QImage &bitmap, const QRect &rect, quint32 fromColor, quint32 toColor, TGradientType kind,
    const QRegion *region = nullptr);

void BlendImages(
    QImage &target, const QImage &source, const QImage &overlay, int offset, const QRect &rect, int percent);

void DrawShadowText(QPainter &canvas, const QString &text, const QFont &font, quint32 fontColor, bool enabled,
    const QRect &rect, int format, bool shadow, quint32 shadowColor);

int TextFormat(TAlignment alignment, bool wordWrap);

void Colorize(QImage &bitmap, quint32 tint);

void ShrinkImage(const QImage &source, QImage &target, int factor);

void SmoothBorder(const QImage &source, QImage &target, int factor, quint32 fillColor, int band);

// Draws bitmap at (x, y) leaving out the pixels of its bottom-left colour,
// the platform's rule for transparent bitmaps.
void DrawTransparent(QPainter &canvas, int x, int y, const QImage &bitmap);

// The 8 x 8 pictures of the check mark and of the radio dot: dark on white,
// white being the transparent background.
QImage CheckMarkBitmap();
QImage RadioDotBitmap();

} // namespace RbDrawCore
