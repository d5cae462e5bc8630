#include "components/ui/TRoundedPanel.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

TRoundedPanel::TRoundedPanel(QWidget *parent)
    : QWidget(parent)
{
}

void TRoundedPanel::setGradient(const QColor &top, const QColor &bottom)
{
    m_top = top;
    m_bottom = bottom;
    update();
}

void TRoundedPanel::setCornerWidth(int width)
{
    m_cornerWidth = width;
    update();
}

void TRoundedPanel::setBorder(int width, const QColor &color)
{
    m_borderWidth = width;
    m_borderColor = color;
    update();
}

void TRoundedPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The border is drawn centred on the outline: keep it inside the widget.
    const qreal inset = m_borderWidth > 0 ? m_borderWidth / 2.0 : 1.0;
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), m_cornerWidth, m_cornerWidth);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, m_top);
    g.setColorAt(1, m_bottom);
    p.fillPath(path, g);
    if (m_borderWidth > 0) {
        p.setPen(QPen(m_borderColor, m_borderWidth));
        p.drawPath(path);
    }
}
