#include "components/ui/TRbCheckBox.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

using namespace RbDrawCore;

TRbCheckControl::TRbCheckControl(QWidget *parent)
    : TRbCustomControl(parent)
{
    m_colors.onImagesChanged = [this] { UpdateImages(); };
    m_colors.onRepaint = [this] { Invalidate(); };
    resize(130, 17);
}

void TRbCheckControl::setBorderLines(TBorderLines value)
{
    m_borderLines = value & kAllBorderLines;
    Invalidate();
}

void TRbCheckControl::setBorderLinesColor(quint32 value)
{
    m_borderLinesColor = value;
    Invalidate();
}

void TRbCheckControl::setHotTrack(bool value)
{
    m_hotTrack = value;
    Invalidate();
}

void TRbCheckControl::setSpacing(int value)
{
    m_spacing = value;
    Invalidate();
}

void TRbCheckControl::setChecked(bool value)
{
    if (value == m_checked)
        return;
    m_checked = value;
    Invalidate();
}

void TRbCheckControl::setShowFocusRect(bool value)
{
    m_showFocusRect = value;
    Invalidate();
}

void TRbCheckControl::setCheckColor(quint32 value)
{
    m_checkColor = value;
    Invalidate();
}

void TRbCheckControl::MouseEntered()
{
    m_fade.IsHot = true;
    StartFade(RbFadeEngine::FadeIn);
    TRbCustomControl::MouseEntered();
}

void TRbCheckControl::MouseLeft()
{
    m_fade.IsHot = false;
    m_fade.IsPressed = false;
    StartFade(RbFadeEngine::FadeOut);
    TRbCustomControl::MouseLeft();
}

void TRbCheckControl::LeftButtonDown()
{
    TRbCustomControl::LeftButtonDown();
    m_fade.IsPressed = true;
    StartFade(RbFadeEngine::FadeIn);
}

void TRbCheckControl::LeftButtonUp()
{
    if (m_fade.IsPressed) {
        m_fade.IsPressed = false;
        StartFade(RbFadeEngine::FadeIn);
    }
}

void TRbCheckControl::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_fade.IsPressed;
    TRbCustomControl::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && wasPressed && rect().contains(event->position().toPoint()))
        Click();
}

void TRbCheckControl::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && !event->isAutoRepeat()) {
        Click();
        event->accept();
        return;
    }
    TRbCustomControl::keyPressEvent(event);
}

QSize TRbCheckControl::sizeHint() const
{
    // The caption's advance plus the room its one-pixel shadow takes.
    return { CaptionLeft() + QFontMetrics(font()).horizontalAdvance(Caption()) + 2, 17 };
}

void TRbCheckControl::PaintCaptionAndLines(QPainter &painter, int captionLeft)
{
    const QRect client = rect();
    if (ShowCaption()) {
        QRect r = client;
        r.setLeft(captionLeft);
        DrawShadowText(painter, Caption(), font(), textColor(m_hotTrack, m_colors.HotTrack()), isEnabled(), r,
            TextFormat(taLeftJustify, false), TextShadow(), m_colors.TextShadow());
    }
    painter.setPen(toQColor(m_borderLinesColor));
    const int right = client.right();
    const int bottom = client.bottom();
    if (m_borderLines & blTop)
        painter.drawLine(0, 0, right, 0);
    if (m_borderLines & blBottom)
        painter.drawLine(0, bottom, right, bottom);
    if (m_borderLines & blLeft)
        painter.drawLine(0, 0, 0, bottom);
    if (m_borderLines & blRight)
        painter.drawLine(right, 0, right, bottom);
    if (hasFocus() && m_showFocusRect)
        DrawFocusRect(painter, client);
}

TRbCheckBox::TRbCheckBox(QWidget *parent)
    : TRbCheckControl(parent)
{
    UpdateImages();
}

void TRbCheckBox::setGradientBorder(bool value)
{
    m_gradientBorder = value;
    Invalidate();
}

QRect TRbCheckBox::BoxRect() const
{
    return QRect(1, (height() - kBoxSize) / 4, kBoxSize, kBoxSize);
}

void TRbCheckBox::UpdateImages()
{
    auto build = [this](quint32 from, quint32 to, bool outline) {
        QImage img = newBitmap(kBoxSize, kBoxSize);
        GradientFill(img, img.rect(), from, to, gtFromTopLeft);
        if (outline) {
            QPainter p(&img);
            p.setPen(toQColor(m_colors.BorderColor()));
            p.drawRect(0, 0, kBoxSize - 1, kBoxSize - 1);
        }
        return img;
    };
    m_normalImage = build(m_colors.DefaultFrom(), m_colors.DefaultTo(), true);
    m_overImage = build(m_colors.OverFrom(), m_colors.OverTo(), true);
    m_clickedImage = build(m_colors.ClickedFrom(), m_colors.ClickedTo(), false);
    Invalidate();
}

void TRbCheckBox::Click()
{
    // The state changes first so that OnClick sees the new value.
    setChecked(!m_checked);
    emit OnClick();
}

void TRbCheckBox::RenderFrame(QImage &buffer)
{
    const QRect box = BoxRect();
    BlendImages(buffer, m_normalImage, m_overImage, 0, box, m_fade.OverFade);
    if (m_fade.ClickFade > 0) {
        const int inset = m_gradientBorder ? 2 : 1;
        BlendImages(
            buffer, buffer, m_clickedImage, 0, box.adjusted(inset, inset, -inset, -inset), m_fade.ClickFade);
    }
    QPainter painter(&buffer);
    if (m_checked) {
        QImage mark = CheckMarkBitmap();
        Colorize(mark, isEnabled() ? m_checkColor : 0x808080);
        DrawTransparent(painter, box.left() + 2, box.top() + 2, mark);
    }
    PaintCaptionAndLines(painter, CaptionLeft());
}
