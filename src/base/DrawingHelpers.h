#pragma once

#include <QImage>

// Pixel helpers of the main window: a two-colour gradient and area-averaging
// resampling. They work on images only, so they run anywhere.
class DrawingHelpers
{
public:
    // Paints a gradient over the whole image: FromColor on the first row
    // (Vertical) or column, each later line one (ToColor - FromColor) / L
    // further, L being the image's extent along the gradient. Colours are
    // 0x00BBGGRR values. An image of extent 0 is left as it is.
    static void Degrade(QImage &image, bool Vertical, double FromColor, double ToColor);

    // Target becomes Source scaled by Ratio in both directions (each side
    // rounded half to even, at least 1 pixel), every target pixel the
    // average of the source block it covers, both block ends included.
    // Target is 24 bits per pixel. A null Source, or a Ratio that is not a
    // positive finite number, leaves Target unchanged and returns false.
    static bool BITMAP_REDIMENSIONAR(const QImage &Source, QImage &Target, double Ratio);
};
