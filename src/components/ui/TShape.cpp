#include "components/ui/TShape.h"

#include "components/TColor.h"

#include <QPainter>

TShape::TShape(QWidget *parent)
    : QWidget(parent)
{
}

void TShape::setBrushColor(quint32 color)
{
    m_brush = color;
    update();
}

void TShape::setBrushClear(bool clear)
{
    m_clear = clear;
    // A shape without fill lets the pointer through to what lies under it
    // only where nothing is drawn; events still reach it, as for any control.
    setAttribute(Qt::WA_TranslucentBackground, clear);
    update();
}

void TShape::setPenColor(quint32 color)
{
    m_pen = color;
    update();
}

void TShape::setPenWidth(int width)
{
    m_penWidth = qMax(0, width);
    update();
}

void TShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect r = rect();
    if (!m_clear)
        painter.fillRect(r, TColor::toQColor(m_brush));
    const int w = qMin(m_penWidth, qMin(r.width(), r.height()) / 2 + 1);
    if (w <= 0)
        return;
    const QColor pen = TColor::toQColor(m_pen);
    painter.fillRect(QRect(0, 0, r.width(), w), pen);
    painter.fillRect(QRect(0, r.height() - w, r.width(), w), pen);
    painter.fillRect(QRect(0, 0, w, r.height()), pen);
    painter.fillRect(QRect(r.width() - w, 0, w, r.height()), pen);
}
