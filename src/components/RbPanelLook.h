#pragma once

#include "components/RbDrawCore.h"

#include <QImage>
#include <QMargins>

// The frame and face of a styled panel, drawn without a window. With
// anti-aliasing the frame is drawn at kFactor times the size and only the
// border band is averaged back down.
struct RbPanelLook
{
    static constexpr int kFactor = 3;

    int width = 185;
    int height = 105;
    quint32 color = 0xE3DFDF;
    quint32 outerColor = RbDrawCore::kButtonFace;
    quint32 borderColor = 0x808080;
    int borderWidth = 2;
    int cornerWidth = 10;
    bool antialiased = true;
    bool gradient = false;
    quint32 defaultFrom = 0xFFFFFF;
    quint32 defaultTo = 14933983;
    TGradientType gradientType = gtVertical;
    bool groupBox = false;
    int captionTextHeight = 0;

    int factor() const { return antialiased ? kFactor : 1; }
    // Width of the averaged band along each edge.
    int band() const { return (cornerWidth + 20) / 2; }

    // The frame at factor() times the size.
    QImage WorkImage() const;
    // The final PanelImage of width x height.
    QImage PanelImage() const;
    // Margins of the area left to child controls.
    QMargins ClientMargins() const;
};
