#include "components/ui/TRbPanel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

using namespace RbDrawCore;

TRbPanel::TRbPanel(QWidget *parent)
    : TRbCustomControl(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setColor(0xE3DFDF);
    setFontColor(13500416);
    resize(185, 105);
    RebuildImage();
}

int TRbPanel::captionTextHeight() const
{
    return QFontMetrics(font()).height();
}

void TRbPanel::syncLook()
{
    m_look.width = width();
    m_look.height = height();
    m_look.color = Color();
    m_look.groupBox = m_captionPosition == cpGroupBox;
    m_look.captionTextHeight = captionTextHeight();
}

void TRbPanel::RebuildImage()
{
    // The children move at once; the image itself is drawn at the next
    // paint, so that a form setting several properties in a row pays once.
    syncLook();
    setContentsMargins(m_look.ClientMargins());
    m_imageDirty = true;
    Invalidate();
}

const QImage &TRbPanel::PanelImage()
{
    if (m_imageDirty) {
        syncLook();
        m_panelImage = m_look.PanelImage();
        ++m_imageBuilds;
        m_imageDirty = false;
    }
    return m_panelImage;
}

QRect TRbPanel::ClientArea() const
{
    RbPanelLook look = m_look;
    look.groupBox = m_captionPosition == cpGroupBox;
    look.captionTextHeight = captionTextHeight();
    return rect().marginsRemoved(look.ClientMargins());
}

void TRbPanel::setCaptionPosition(TRbCaptionPos value)
{
    if (value == m_captionPosition)
        return;
    const bool groupChange = (value == cpGroupBox) != (m_captionPosition == cpGroupBox);
    m_captionPosition = value;
    if (groupChange)
        RebuildImage();
    else
        Invalidate();
}

void TRbPanel::setCornerWidth(int value)
{
    if (value < 0 || value == m_look.cornerWidth)
        return;
    m_look.cornerWidth = value;
    RebuildImage();
}

void TRbPanel::setBorderWidth(int value)
{
    if (value < 1 || value == m_look.borderWidth)
        return;
    m_look.borderWidth = value;
    RebuildImage(); // also moves the children's margins
}

void TRbPanel::setBorderColor(quint32 value)
{
    if (value == m_look.borderColor)
        return;
    m_look.borderColor = value;
    RebuildImage();
}

void TRbPanel::setOuterColor(quint32 value)
{
    if (value == m_look.outerColor)
        return;
    m_look.outerColor = value;
    RebuildImage();
}

void TRbPanel::setTextShadowColor(quint32 value)
{
    m_textShadowColor = value;
    Invalidate();
}

void TRbPanel::setAntialiased(bool value)
{
    if (value == m_look.antialiased)
        return;
    m_look.antialiased = value;
    if (value)
        m_look.gradient = false;
    RebuildImage();
}

void TRbPanel::setGradient(bool value)
{
    // The supersampled frame fills its inside with one colour, so a gradient
    // face is only drawn without anti-aliasing.
    if (m_look.antialiased)
        value = false;
    if (value == m_look.gradient)
        return;
    m_look.gradient = value;
    RebuildImage();
}

void TRbPanel::setDefaultFrom(quint32 value)
{
    if (value == m_look.defaultFrom)
        return;
    m_look.defaultFrom = value;
    RebuildImage();
}

void TRbPanel::setDefaultTo(quint32 value)
{
    if (value == m_look.defaultTo)
        return;
    m_look.defaultTo = value;
    RebuildImage();
}

void TRbPanel::setGradientType(TGradientType value)
{
    if (value == m_look.gradientType)
        return;
    m_look.gradientType = value;
    RebuildImage();
}

void TRbPanel::setParentColor(bool value)
{
    m_parentColor = value;
    ParentColorChanged();
}

void TRbPanel::ParentColorChanged()
{
    if (!m_parentColor || !parentWidget())
        return;
    quint32 parentColor;
    if (auto *styled = qobject_cast<TRbCustomControl *>(parentWidget())) {
        parentColor = styled->Color();
    } else {
        const QColor c = parentWidget()->palette().color(parentWidget()->backgroundRole());
        parentColor = quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
    }
    setOuterColor(parentColor);
}

void TRbPanel::changeEvent(QEvent *event)
{
    TRbCustomControl::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        RebuildImage(); // the group box's frame depends on the caption height
}

QRect TRbPanel::CaptionRect() const
{
    const int bw = m_look.borderWidth;
    const int cw = m_look.cornerWidth;
    const int inset = (cw + bw) / 2;
    // Edges as the platform keeps them (Right and Bottom exclusive).
    int left = inset, top = bw, right = width() - inset, bottom = height() - bw;
    if (m_captionPosition == cpMiddleLeft)
        left -= (cw - bw) / 2;
    if (m_captionPosition == cpMiddleRight)
        right += (cw - bw) / 2;
    if (m_captionPosition == cpGroupBox) {
        top -= bw;
        if (bw + cw < 2)
            left += 5;
    }
    return QRect(left, top, right - left, bottom - top);
}

void TRbPanel::RenderFrame(QImage &buffer)
{
    buffer.fill(toQColor(m_look.outerColor));
    QPainter painter(&buffer);
    painter.drawImage(0, 0, PanelImage());
    if (!ShowCaption())
        return;

    int format = dtSingleLine | dtEndEllipsis | dtNoPrefix;
    switch (m_captionPosition) {
    case cpGroupBox:
    case cpTopLeft:
        format |= dtLeft | dtTop;
        break;
    case cpTopCenter:
        format |= dtCenter | dtTop;
        break;
    case cpTopRight:
        format |= dtRight | dtTop;
        break;
    case cpMiddleLeft:
        format |= dtLeft | dtVCenter;
        break;
    case cpMiddleCenter:
        format |= dtCenter | dtVCenter;
        break;
    case cpMiddleRight:
        format |= dtRight | dtVCenter;
        break;
    case cpBottomLeft:
        format |= dtLeft | dtBottom;
        break;
    case cpBottomCenter:
        format |= dtCenter | dtBottom;
        break;
    case cpBottomRight:
        format |= dtRight | dtBottom;
        break;
    }
    const QRect r = CaptionRect();
    if (m_captionPosition == cpGroupBox && !Caption().isEmpty()) {
        // Open the frame line behind the caption.
        const QFontMetrics fm(font());
        const int h = fm.height() / 2;
        const int textWidth = std::min(fm.horizontalAdvance(Caption()), r.width());
        const QColor outer = toQColor(m_look.outerColor);
        painter.fillRect(QRect(0, 0, r.right() + 1, r.top() + h), outer);
        painter.fillRect(QRect(r.left(), r.top() + h, textWidth, std::min(m_look.borderWidth, h)), outer);
    }
    DrawShadowText(
        painter, Caption(), font(), FontColor(), isEnabled(), r, format, TextShadow(), m_textShadowColor);
}
