#include "components/RbPanelLook.h"

#include <QPainter>
#include <QPainterPath>

QImage RbPanelLook::WorkImage() const
{
    const int f = factor();
    QImage work = RbDrawCore::newBitmap(f * width, f * height, outerColor);
    if (work.isNull())
        return work;
    const int pen = f * borderWidth - 1;
    const int b = pen / 2;
    QRectF box(b, b, f * width - 2 * b, f * height - 2 * b);
    if (groupBox)
        box.setTop(box.top() + (f * captionTextHeight) / 2);
    const qreal radius = f * cornerWidth / 2.0;

    QPainter painter(&work);
    if (gradient && !antialiased) {
        QPainterPath path;
        path.addRoundedRect(box, radius, radius);
        const QRegion region(path.toFillPolygon().toPolygon());
        RbDrawCore::GradientFill(work, box.toRect(), defaultFrom, defaultTo, gradientType, &region);
        painter.setBrush(Qt::NoBrush);
    } else {
        painter.setBrush(RbDrawCore::toQColor(color));
    }
    if (pen > 0) {
        QPen p(RbDrawCore::toQColor(borderColor));
        p.setWidth(pen);
        painter.setPen(p);
    } else {
        painter.setPen(RbDrawCore::toQColor(borderColor));
    }
    painter.drawRoundedRect(box.adjusted(0, 0, -1, -1), radius, radius);
    return work;
}

QImage RbPanelLook::PanelImage() const
{
    QImage work = WorkImage();
    if (!antialiased)
        return work;
    QImage panel;
    RbDrawCore::SmoothBorder(work, panel, kFactor, color, cornerWidth + 20);
    return panel;
}

QMargins RbPanelLook::ClientMargins() const
{
    const int m = borderWidth + 1;
    if (!groupBox)
        return QMargins(m, m, m, m);
    const int h = captionTextHeight / 2;
    return QMargins(m, 2 * h + 1, m, 3);
}
