#include "components/ui/TRbProgressBar.h"

#include <QPainter>

using namespace RbDrawCore;

TRbProgressBar::TRbProgressBar(QWidget *parent)
    : TRbCustomControl(parent)
{
    setTextShadow(false);
    setFocusPolicy(Qt::NoFocus);
    resize(150, 16);
    UpdateImages();
}

void TRbProgressBar::setDefaultFrom(quint32 value)
{
    if (value == m_defaultFrom)
        return;
    m_defaultFrom = value;
    UpdateImages();
}

void TRbProgressBar::setDefaultTo(quint32 value)
{
    if (value == m_defaultTo)
        return;
    m_defaultTo = value;
    UpdateImages();
}

void TRbProgressBar::setGradientType(TGradientType value)
{
    if (value == m_gradientType)
        return;
    m_gradientType = value;
    UpdateImages();
}

void TRbProgressBar::setMax(int value)
{
    if (m_model.setMax(value))
        Invalidate();
}

void TRbProgressBar::setMin(int value)
{
    if (m_model.setMin(value))
        Invalidate();
}

void TRbProgressBar::setPosition(int value)
{
    m_model.setPosition(value);
    // Frequent updates only mark the frame; it is drawn at the next paint
    // when the percentage really moved.
    update();
}

void TRbProgressBar::setBorderLines(TBorderLines value)
{
    m_borderLines = value & kAllBorderLines;
    Invalidate();
}

void TRbProgressBar::setBorderColor(quint32 value)
{
    m_borderColor = value;
    Invalidate();
}

void TRbProgressBar::setBorderWidth(int value)
{
    if (!m_model.acceptsBorderWidth(m_borderWidth, value, height()))
        return;
    m_borderWidth = value;
    Invalidate();
}

void TRbProgressBar::setOrientation(TProgressBarOrientation value)
{
    m_orientation = value;
    Invalidate();
}

void TRbProgressBar::setShowText(bool value)
{
    m_showText = value;
    Invalidate();
}

int TRbProgressBar::FrameState() const
{
    // What of the position shows: the percentage.
    return m_model.Percent();
}

void TRbProgressBar::UpdateImages()
{
    m_image = newBitmap(width(), height());
    GradientFill(m_image, m_image.rect(), m_defaultFrom, m_defaultTo, m_gradientType);
    Invalidate();
}

void TRbProgressBar::RenderFrame(QImage &buffer)
{
    QPainter painter(&buffer);
    const QRect filled = m_model.FilledRect(width(), height(), m_orientation, m_borderWidth, m_borderLines);
    if (!filled.isEmpty())
        painter.drawImage(filled.topLeft(), m_image, filled);
    const QString text = Text();
    if (!text.isEmpty())
        DrawShadowText(painter, text, font(), FontColor(), true, rect(), TextFormat(taCenter, false),
            TextShadow(), 0xFFFFFF);
    painter.setPen(toQColor(m_borderColor));
    const int right = width() - 1;
    const int bottom = height() - 1;
    if (m_borderLines & blTop)
        painter.drawLine(0, 0, right, 0);
    if (m_borderLines & blBottom)
        painter.drawLine(0, bottom, right, bottom);
    if (m_borderLines & blLeft)
        painter.drawLine(0, 0, 0, bottom);
    if (m_borderLines & blRight)
        painter.drawLine(right, 0, right, bottom);
}
