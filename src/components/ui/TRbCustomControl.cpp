#include "components/ui/TRbCustomControl.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

namespace {

// Tells assistive tools what each styled control is, since Qt only knows
// them as plain widgets.
class RbAccessible : public QAccessibleWidget
{
public:
    explicit RbAccessible(TRbCustomControl *control)
        : QAccessibleWidget(control, roleOf(control))
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            if (!widget()->accessibleName().isEmpty())
                return widget()->accessibleName();
            return control()->AccessibleText();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (control()->IsCheckable()) {
            s.checkable = true;
            s.checked = control()->IsChecked();
        }
        return s;
    }

private:
    TRbCustomControl *control() const { return static_cast<TRbCustomControl *>(widget()); }

    static QAccessible::Role roleOf(TRbCustomControl *c)
    {
        switch (c->ControlKind()) {
        case TRbCustomControl::kButton:
            return QAccessible::Button;
        case TRbCustomControl::kCheckBox:
            return QAccessible::CheckBox;
        case TRbCustomControl::kRadioButton:
            return QAccessible::RadioButton;
        case TRbCustomControl::kProgressBar:
            return QAccessible::ProgressBar;
        case TRbCustomControl::kPanel:
            return QAccessible::Grouping;
        }
        return QAccessible::Client;
    }
};

QAccessibleInterface *rbAccessibleFactory(const QString &, QObject *object)
{
    if (auto *c = qobject_cast<TRbCustomControl *>(object))
        return new RbAccessible(c);
    return nullptr;
}

} // namespace

TRbCustomControl::TRbCustomControl(QWidget *parent)
    : QWidget(parent)
    , m_fade(*this)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(rbAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_fade.onRepaint = [this] { update(); };
    followParentColor();
}

TRbCustomControl::~TRbCustomControl()
{
    if (m_fadeTimerId)
        killTimer(m_fadeTimerId);
    if (m_styleManager && !m_styleManager->Destroying())
        m_styleManager->RemoveClient(this);
}

QString TRbCustomControl::About() const
{
    return QStringLiteral("Rb styled controls 1.0 - Voxlane");
}

void TRbCustomControl::setCaption(const QString &value)
{
    if (value == m_caption)
        return;
    m_caption = value;
    TextChanged();
}

void TRbCustomControl::setTextShadow(bool value)
{
    m_textShadow = value;
    Invalidate();
}

void TRbCustomControl::setShowCaption(bool value)
{
    m_showCaption = value;
    Invalidate();
}

void TRbCustomControl::setColor(quint32 value)
{
    m_colorFromParent = false;
    applyColor(value);
}

void TRbCustomControl::applyColor(quint32 value)
{
    if (value == m_color)
        return;
    m_color = value;
    UpdateImages();
    Invalidate();
    // The styled controls placed on this one hear of it as of any change of
    // their parent's colour.
    for (QObject *child : children()) {
        if (auto *styled = qobject_cast<TRbCustomControl *>(child))
            styled->parentColorChanged();
    }
}

void TRbCustomControl::followParentColor()
{
    if (!m_colorFromParent)
        return;
    // Elsewhere a control has the face colour of the platform's buttons.
    const auto *styled = qobject_cast<const TRbCustomControl *>(parentWidget());
    applyColor(styled ? styled->Color() : RbDrawCore::kButtonFace);
}

void TRbCustomControl::parentColorChanged()
{
    followParentColor();
    ParentColorChanged();
}

void TRbCustomControl::setFontColor(quint32 value)
{
    m_fontColor = value;
    Invalidate();
}

void TRbCustomControl::setRbStyleManager(TRbStyleManager *manager)
{
    if (manager == m_styleManager)
        return;
    if (m_styleManager)
        m_styleManager->RemoveClient(this);
    m_styleManager = manager;
    if (m_styleManager)
        m_styleManager->AddClient(this);
}

void TRbCustomControl::StyleManagerGone(TRbStyleManager *manager)
{
    if (m_styleManager == manager)
        m_styleManager = nullptr;
}

void TRbCustomControl::Invalidate()
{
    m_frameValid = false;
    update();
}

void TRbCustomControl::StartFade(RbFadeEngine::StepHandler handler)
{
    m_fade.FadeStepHandler = handler;
    m_fade.StartFade();
}

void TRbCustomControl::startFadeTimer(int periodMs)
{
    if (m_fadeTimerId)
        killTimer(m_fadeTimerId);
    m_fadeTimerId = startTimer(periodMs, Qt::PreciseTimer);
}

void TRbCustomControl::stopFadeTimer()
{
    if (m_fadeTimerId)
        killTimer(m_fadeTimerId);
    m_fadeTimerId = 0;
}

void TRbCustomControl::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_fadeTimerId && m_fadeTimerId) {
        // The fade runs our virtual steps so that members may refine them.
        try {
            if (m_fade.FadeStepHandler == RbFadeEngine::FadeIn)
                FadeInStep();
            else if (m_fade.FadeStepHandler == RbFadeEngine::FadeOut)
                FadeOutStep();
        } catch (...) {
            // A failing fade step never stops the control.
        }
        return;
    }
    QWidget::timerEvent(event);
}

TRbCustomControl::FrameKey TRbCustomControl::frameKey() const
{
    return FrameKey(width(), height(), m_fade.OverFade, m_fade.ClickFade, m_fade.IsHot, m_fade.IsPressed,
        hasFocus(), isEnabled(), FrameState());
}

const QImage &TRbCustomControl::CurrentFrame()
{
    const FrameKey key = frameKey();
    if (!m_frameValid || key != m_frameKey || m_frame.size() != size()) {
        m_frame = RbDrawCore::newBitmap(width(), height(), m_color);
        if (!m_frame.isNull())
            RenderFrame(m_frame);
        m_frameKey = key;
        m_frameValid = true;
        ++m_frameRenders;
    }
    return m_frame;
}

void TRbCustomControl::paintEvent(QPaintEvent *)
{
    const QImage &frame = CurrentFrame();
    QPainter painter(this);
    painter.drawImage(0, 0, frame);
}

void TRbCustomControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Resized();
    Invalidate();
}

void TRbCustomControl::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
        EnabledChanged();
        break;
    case QEvent::ParentChange:
        followParentColor();
        ParentColorChanged();
        break;
    case QEvent::PaletteChange:
        ParentColorChanged();
        break;
    case QEvent::FontChange:
        Invalidate();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TRbCustomControl::focusInEvent(QFocusEvent *event)
{
    FocusChanged();
    Invalidate();
    QWidget::focusInEvent(event);
}

void TRbCustomControl::focusOutEvent(QFocusEvent *event)
{
    FocusChanged();
    Invalidate();
    QWidget::focusOutEvent(event);
}

void TRbCustomControl::LeftButtonDown()
{
    if (!hasFocus() && focusPolicy() != Qt::NoFocus && isEnabled())
        setFocus(Qt::MouseFocusReason);
}

void TRbCustomControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        LeftButtonDown();
    QWidget::mousePressEvent(event);
}

void TRbCustomControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        LeftButtonUp();
    QWidget::mouseReleaseEvent(event);
}

void TRbCustomControl::mouseMoveEvent(QMouseEvent *event)
{
    MouseMoved();
    QWidget::mouseMoveEvent(event);
}

void TRbCustomControl::enterEvent(QEnterEvent *event)
{
    MouseEntered();
    QWidget::enterEvent(event);
}

void TRbCustomControl::leaveEvent(QEvent *event)
{
    MouseLeft();
    QWidget::leaveEvent(event);
}

void TRbCustomControl::DrawFocusRect(QPainter &painter, const QRect &rect)
{
    painter.save();
    QPen pen(Qt::black);
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
}

quint32 TRbCustomControl::textColor(bool hotTrack, quint32 hotTrackColor) const
{
    return hotTrack && m_fade.IsHot ? hotTrackColor : m_fontColor;
}
