#pragma once

#include "components/RbDrawCore.h"
#include "components/RbFadeEngine.h"
#include "components/TRbStyleManager.h"

#include <QImage>
#include <QWidget>

#include <tuple>

// Base of the styled controls. It maps Qt's events onto the family's
// virtual operations, runs the fade timer and keeps the rendered frame in a
// cached image: paintEvent only blits it unless the size, the state or the
// colours changed since it was drawn.
class TRbCustomControl : public QWidget, protected RbFadeTimer, public TRbStyleClient
{
    Q_OBJECT

public:
    enum Kind { kButton, kCheckBox, kRadioButton, kProgressBar, kPanel };

    ~TRbCustomControl() override;

    virtual Kind ControlKind() const = 0;

    QString Caption() const { return m_caption; }
    void setCaption(const QString &value);
    bool TextShadow() const { return m_textShadow; }
    void setTextShadow(bool value);
    bool ShowCaption() const { return m_showCaption; }
    void setShowCaption(bool value);
    QString About() const;
    void setAbout(const QString &) { }
    // The face colour (0x00BBGGRR or a system colour) and the font's colour.
    // Placed on another styled control (a panel), a control takes that
    // control's colour and follows it, so that what it draws around its
    // face (a button's rounded corners) matches what lies under it; a
    // colour set on the control itself is kept.
    quint32 Color() const { return m_color; }
    void setColor(quint32 value);
    bool ColorFromParent() const { return m_colorFromParent; }
    quint32 FontColor() const { return m_fontColor; }
    void setFontColor(quint32 value);

    TRbStyleManager *RbStyleManager() const { return m_styleManager; }
    void setRbStyleManager(TRbStyleManager *manager);

    int OverFade() const { return m_fade.OverFade; }
    int ClickFade() const { return m_fade.ClickFade; }
    bool IsHot() const { return m_fade.IsHot; }
    bool IsPressed() const { return m_fade.IsPressed; }
    bool FadeRunning() const { return m_fade.Running(); }
    RbFadeEngine &Fade() { return m_fade; }

    // How often the frame was drawn into the cache (the rest were blits).
    int FrameRenders() const { return m_frameRenders; }
    // The cached frame as last drawn.
    const QImage &Frame() const { return m_frame; }
    // Draws the frame now if it is out of date (what a paint would do).
    const QImage &CurrentFrame();

    // State flags that the accessibility layer reports.
    virtual bool IsCheckable() const { return false; }
    virtual bool IsChecked() const { return false; }
    virtual QString AccessibleText() const { return m_caption; }

signals:
    void OnMouseEnter(QObject *sender);
    void OnMouseLeave(QObject *sender);
    void OnClick();

protected:
    explicit TRbCustomControl(QWidget *parent);

    // The family's virtual operations.
    virtual void UpdateImages() { }
    virtual void EnabledChanged() { Invalidate(); }
    virtual void FocusChanged() { }
    virtual void LeftButtonDown();
    virtual void LeftButtonUp() { }
    virtual void MouseEntered() { emit OnMouseEnter(this); }
    virtual void MouseLeft() { emit OnMouseLeave(this); }
    virtual void MouseMoved() { }
    virtual void ParentColorChanged() { }
    virtual void Resized() { }
    virtual void TextChanged() { Invalidate(); }
    virtual void FadeOutStep() { m_fade.FadeOutStep(); }
    virtual void FadeInStep() { m_fade.FadeInStep(); }

    // Draws the whole control into frame (already of the control's size).
    virtual void RenderFrame(QImage &frame) = 0;
    // Extra state that changes the frame (checked, down, position...).
    virtual int FrameState() const { return 0; }
    // The frame must be drawn again at the next paint.
    void Invalidate();

    void StartFade(RbFadeEngine::StepHandler handler);

    // Fade timer of the control's window.
    void startFadeTimer(int periodMs) override;
    void stopFadeTimer() override;
    void StyleManagerGone(TRbStyleManager *manager) override;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

    // Focus rectangle of the platform: a dotted outline.
    static void DrawFocusRect(QPainter &painter, const QRect &rect);
    quint32 textColor(bool hotTrack, quint32 hotTrackColor) const;

    RbFadeEngine m_fade;

private:
    void applyColor(quint32 value);
    // Takes the styled parent's colour unless a colour of its own was set.
    void followParentColor();
    void parentColorChanged();

    using FrameKey = std::tuple<int, int, int, int, bool, bool, bool, bool, int>;
    FrameKey frameKey() const;

    QString m_caption;
    bool m_textShadow = true;
    bool m_showCaption = true;
    quint32 m_color = RbDrawCore::kButtonFace;
    bool m_colorFromParent = true;
    quint32 m_fontColor = 0x000000;
    TRbStyleManager *m_styleManager = nullptr;

    int m_fadeTimerId = 0;
    QImage m_frame;
    FrameKey m_frameKey {};
    bool m_frameValid = false;
    int m_frameRenders = 0;
};
