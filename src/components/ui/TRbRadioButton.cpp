#include "components/ui/TRbRadioButton.h"

#include <QPainter>
#include <QPainterPath>

using namespace RbDrawCore;

TRbRadioButton::TRbRadioButton(QWidget *parent)
    : TRbCheckControl(parent)
{
    // The parent shows through outside the circle and the caption.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    UpdateImages();
}

void TRbRadioButton::setRadioType(TRadioSize value)
{
    if (value == m_radioType)
        return;
    m_radioType = value;
    UpdateImages();
}

QRect TRbRadioButton::CircleRect() const
{
    const int s = radioSize(m_radioType);
    return QRect(2, (height() - s) / 2, s, s);
}

void TRbRadioButton::UpdateImages()
{
    const int s = radioSize(m_radioType);
    constexpr int kScale = 4;
    auto build = [&](quint32 from, quint32 to) {
        QImage img = newBitmap(s, s, Color());
        QPainterPath path;
        path.addEllipse(QRectF(0, 0, s, s));
        const QRegion inside(path.toFillPolygon().toPolygon());
        GradientFill(img, img.rect(), from, to, gtFromTopLeft, &inside);
        QImage big = img.scaled(s * kScale, s * kScale);
        {
            QPainter p(&big);
            p.setRenderHint(QPainter::Antialiasing);
            QPen pen(toQColor(m_colors.BorderColor()));
            pen.setWidth(kScale);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(3, 3, s * kScale - 6, s * kScale - 6));
        }
        QImage result;
        ShrinkImage(big, result, kScale);
        return result;
    };
    m_normalImage = build(m_colors.DefaultFrom(), m_colors.DefaultTo());
    m_overImage = build(m_colors.OverFrom(), m_colors.OverTo());
    m_clickedImage = build(m_colors.ClickedFrom(), m_colors.ClickedTo());
    Invalidate();
}

void TRbRadioButton::setChecked(bool value)
{
    if (value == m_checked)
        return;
    TRbCheckControl::setChecked(value);
    if (value)
        UncheckSiblings();
}

void TRbRadioButton::UncheckSiblings()
{
    if (!parentWidget())
        return;
    for (QObject *o : parentWidget()->children()) {
        auto *other = qobject_cast<TRbRadioButton *>(o);
        if (other && other != this)
            other->setChecked(false);
    }
}

int TRbRadioButton::CaptionLeft() const
{
    return radioSize(m_radioType) + m_spacing + 2;
}

void TRbRadioButton::Click()
{
    if (!m_checked)
        setChecked(true);
    emit OnClick();
}

void TRbRadioButton::RenderFrame(QImage &buffer)
{
    const QRect circle = CircleRect();
    if (m_fade.ClickFade > 0) {
        BlendImages(buffer, m_overImage, m_clickedImage, 0, circle, m_fade.ClickFade);
    } else {
        BlendImages(buffer, m_normalImage, m_overImage, 0, circle, m_fade.OverFade);
    }
    QPainter painter(&buffer);
    if (m_checked) {
        QImage dot = RadioDotBitmap();
        Colorize(dot, isEnabled() ? m_checkColor : 0x808080);
        const int inset = radioInset(m_radioType);
        DrawTransparent(painter, circle.left() + inset, circle.top() + inset, dot);
    }
    PaintCaptionAndLines(painter, CaptionLeft());
}

void TRbRadioButton::paintEvent(QPaintEvent *)
{
    // The frame's own Color is the transparent colour.
    // The keyed copy is cached with the frame it came from.
    const QImage &frame = CurrentFrame();
    if (m_shownFrame != FrameRenders()) {
        m_shown = frame.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = toQColor(Color()).rgb();
        for (int y = 0; y < m_shown.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(m_shown.scanLine(y));
            for (int x = 0; x < m_shown.width(); ++x)
                if (line[x] == key)
                    line[x] = 0;
        }
        m_shownFrame = FrameRenders();
    }
    QPainter painter(this);
    painter.drawImage(0, 0, m_shown);
}
