#include "components/ui/TRbButton.h"

#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

using namespace RbDrawCore;

TRbButton::TRbButton(QWidget *parent)
    : TRbCustomControl(parent)
{
    m_colors.onImagesChanged = [this] { UpdateImages(); };
    m_colors.onRepaint = [this] { Invalidate(); };
    resize(75, 25);
    UpdateImages();
    watchWindow();
}

TRbButton::~TRbButton()
{
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
}

void TRbButton::setGlyph(const QImage &value)
{
    m_glyph = value;
    Invalidate();
}

void TRbButton::setSpacing(int value)
{
    m_spacing = std::max(0, value);
    Invalidate();
}

void TRbButton::setLayout(TButtonLayout value)
{
    m_layout = value;
    Invalidate();
}

void TRbButton::setShowFocusRect(bool value)
{
    m_showFocusRect = value;
    Invalidate();
}

void TRbButton::setHotTrack(bool value)
{
    m_hotTrack = value;
    Invalidate();
}

void TRbButton::setDefault(bool value)
{
    if (value == m_default)
        return;
    m_default = value;
    // The window re-evaluates which button answers Enter.
    if (QWidget *w = window(); w && w != this)
        w->update();
    Invalidate();
}

void TRbButton::setGradientBorder(bool value)
{
    m_gradientBorder = value;
    Invalidate();
}

void TRbButton::setGradientType(TGradientType value)
{
    if (value == m_gradientType)
        return;
    m_gradientType = value;
    UpdateImages();
}

void TRbButton::UseFormColors()
{
    m_colors.setDefaultFrom(10346217);
    m_colors.setDefaultTo(13561844);
    m_colors.setOverFrom(13561844);
    m_colors.setOverTo(10346217);
    m_fade.FadeSpeed = fsMedium;
    setGradientType(gtVertical);
}

void TRbButton::UpdateImages()
{
    const int w = width();
    const int h = height();
    m_normalImage = newBitmap(w, h);
    m_overImage = newBitmap(w, h);
    m_clickedImage = newBitmap(w, h);
    GradientFill(
        m_normalImage, m_normalImage.rect(), m_colors.DefaultFrom(), m_colors.DefaultTo(), m_gradientType);
    GradientFill(m_overImage, m_overImage.rect(), m_colors.OverFrom(), m_colors.OverTo(), m_gradientType);
    GradientFill(
        m_clickedImage, m_clickedImage.rect(), m_colors.ClickedFrom(), m_colors.ClickedTo(), m_gradientType);
    Invalidate();
}

void TRbButton::MouseEntered()
{
    m_fade.IsHot = true;
    StartFade(RbFadeEngine::FadeIn);
    TRbCustomControl::MouseEntered();
}

void TRbButton::MouseLeft()
{
    // A grouped button that is down keeps its pressed look.
    if (!m_down) {
        m_fade.IsHot = false;
        StartFade(RbFadeEngine::FadeOut);
    }
    TRbCustomControl::MouseLeft();
}

void TRbButton::LeftButtonDown()
{
    TRbCustomControl::LeftButtonDown();
    m_fade.IsPressed = true;
    m_fade.IsHot = true;
    m_fade.FadeStepHandler = RbFadeEngine::FadeIn;
    FadeInStep();
    m_fade.StartFade();
}

void TRbButton::LeftButtonUp()
{
    if (m_fade.IsPressed && !m_down)
        m_fade.IsPressed = false;
    if (m_fade.IsHot)
        m_fade.FadeStepHandler = RbFadeEngine::FadeIn;
    m_fade.StartFade();
}

void TRbButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_fade.IsPressed || m_down;
    TRbCustomControl::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && wasPressed && rect().contains(event->position().toPoint()))
        Click();
}

void TRbButton::Click()
{
    if (m_modalResult != 0) {
        if (auto *dialog = qobject_cast<QDialog *>(window()))
            dialog->done(m_modalResult);
    }
    if (m_groupIndex > 0)
        setDown(!m_down);
    emit OnClick();
}

bool TRbButton::CanRelease() const
{
    if (m_allowAllUp)
        return true;
    if (!parentWidget())
        return false;
    for (QObject *o : parentWidget()->children()) {
        auto *other = qobject_cast<TRbButton *>(o);
        if (other && other != this && other->m_groupIndex == m_groupIndex && other->m_down)
            return true;
    }
    return false;
}

void TRbButton::ReleaseGroup()
{
    if (!parentWidget())
        return;
    for (QObject *o : parentWidget()->children()) {
        auto *other = qobject_cast<TRbButton *>(o);
        if (other && other != this && other->m_groupIndex == m_groupIndex && other->m_down)
            other->setDown(false);
    }
}

void TRbButton::setDown(bool value)
{
    if (m_groupIndex <= 0 || value == m_down)
        return;
    if (!value && !CanRelease())
        return;
    m_down = value;
    if (value) {
        ReleaseGroup();
        m_fade.IsHot = true;
        m_fade.IsPressed = true;
        StartFade(RbFadeEngine::FadeIn);
    } else {
        m_fade.IsPressed = false;
        m_fade.IsHot = underMouse();
        StartFade(m_fade.IsHot ? RbFadeEngine::FadeIn : RbFadeEngine::FadeOut);
    }
    Invalidate();
}

bool TRbButton::canTakeFocus() const
{
    return isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus;
}

void TRbButton::keyPressEvent(QKeyEvent *event)
{
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && !event->isAutoRepeat())
        || (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter))) {
        Click();
        event->accept();
        return;
    }
    TRbCustomControl::keyPressEvent(event);
}

void TRbButton::watchWindow()
{
    QWidget *w = window();
    if (w == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = (w && w != this) ? w : nullptr;
    if (m_watchedWindow)
        m_watchedWindow->installEventFilter(this);
}

bool TRbButton::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show)
        watchWindow();
    return TRbCustomControl::event(event);
}

// The window's dialog keys: keys that no focused control took reach the
// window, where the default button answers Enter and the cancel button
// Escape.
bool TRbButton::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        const bool escape = key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier;
        if (((enter && m_default) || (escape && m_cancel)) && canTakeFocus()) {
            if (event->type() == QEvent::ShortcutOverride)
                return false; // let the key come as a key press
            Click();
            return true;
        }
    }
    return TRbCustomControl::eventFilter(watched, event);
}

void TRbButton::RenderFrame(QImage &buffer)
{
    const QRect client = rect();
    QRect r = client;
    BlendImages(buffer, m_normalImage, m_overImage, 1, r, m_fade.OverFade);
    if (m_fade.ClickFade > 0) {
        const QRect inner = m_gradientBorder ? r.adjusted(3, 3, -3, -3) : r;
        BlendImages(buffer, buffer, m_clickedImage, 1, inner, m_fade.ClickFade);
    }

    QPainter painter(&buffer);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(toQColor(Color()));
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    painter.setPen(toQColor(m_colors.BorderColor()));
    painter.drawRoundedRect(QRectF(r).adjusted(0, 0, -1, -1), 2.5, 2.5);

    const int gw = m_glyph.width();
    const int gh = m_glyph.height();
    if (!m_glyph.isNull()) {
        switch (m_layout) {
        case blGlyphLeft:
            r.setLeft(r.left() + gw + m_spacing);
            break;
        case blGlyphRight:
            r.setRight(r.right() - gw - m_spacing);
            break;
        case blGlyphTop:
            r.setTop(r.top() + gh + m_spacing);
            break;
        case blGlyphBottom:
            r.setBottom(r.bottom() - gh - m_spacing);
            break;
        }
    }
    if (ShowCaption())
        DrawShadowText(painter, Caption(), font(), textColor(m_hotTrack, m_colors.HotTrack()), isEnabled(), r,
            TextFormat(taCenter, false), TextShadow(), m_colors.TextShadow());

    if (!m_glyph.isNull()) {
        QImage glyph = m_glyph.convertToFormat(QImage::Format_RGB32);
        if (!isEnabled())
            Colorize(glyph, 0x404040);
        const QFontMetrics fm(font());
        const bool withCaption = !Caption().isEmpty() && ShowCaption();
        const int tw = withCaption ? fm.horizontalAdvance(Caption()) : 0;
        const int th = withCaption ? fm.height() : 0;
        // Rectangle edges as the platform keeps them: Right and Bottom exclusive.
        const int L = r.left(), R = r.right() + 1, T = r.top(), B = r.bottom() + 1;
        int x = 0, y = 0;
        switch (m_layout) {
        case blGlyphLeft:
            x = withCaption ? (L + R - tw) / 2 - m_spacing - gw : (L + R - m_spacing) / 2 - gw;
            y = (height() - gh) / 2;
            break;
        case blGlyphRight:
            x = withCaption ? (L + R + tw) / 2 + m_spacing : (L + R) / 2 + m_spacing;
            y = (height() - gh) / 2;
            break;
        case blGlyphTop:
            x = (width() - gw) / 2;
            y = withCaption ? (T + B - th) / 2 - m_spacing - gh : (T + B) / 2 - m_spacing - gh;
            break;
        case blGlyphBottom:
            x = (width() - gw) / 2;
            y = withCaption ? (T + B + th) / 2 + m_spacing : (T + B) / 2 + m_spacing;
            break;
        }
        DrawTransparent(painter, x, y, glyph);
    }

    if (hasFocus() && m_showFocusRect)
        DrawFocusRect(painter, client.adjusted(2, 2, -2, -2));
}
