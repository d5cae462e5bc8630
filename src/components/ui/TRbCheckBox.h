#pragma once

#include "components/RbColors.h"
#include "components/ui/TRbCustomControl.h"

// Shared by the check box and the radio button: caption beside a small
// gradient box, edge lines, and the fade of the box.
class TRbCheckControl : public TRbCustomControl
{
    Q_OBJECT

public:
    TBorderLines BorderLines() const { return m_borderLines; }
    void setBorderLines(TBorderLines value);
    quint32 BorderLinesColor() const { return m_borderLinesColor; }
    void setBorderLinesColor(quint32 value);
    bool HotTrack() const { return m_hotTrack; }
    void setHotTrack(bool value);
    TFadeSpeed FadeSpeed() const { return m_fade.FadeSpeed; }
    void setFadeSpeed(TFadeSpeed value) { m_fade.FadeSpeed = value; }
    TRbControlColors &Colors() { return m_colors; }
    int Spacing() const { return m_spacing; }
    void setSpacing(int value);
    bool Checked() const { return m_checked; }
    virtual void setChecked(bool value);
    bool ShowFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool value);
    quint32 CheckColor() const { return m_checkColor; }
    void setCheckColor(quint32 value);

    const QImage &NormalImage() const { return m_normalImage; }
    const QImage &OverImage() const { return m_overImage; }
    const QImage &ClickedImage() const { return m_clickedImage; }

    bool IsCheckable() const override { return true; }
    bool IsChecked() const override { return m_checked; }

    // What a click (mouse or Space) does.
    virtual void Click() = 0;

    // Where the caption starts.
    virtual int CaptionLeft() const = 0;
    // Wide enough for the whole caption on one line.
    QSize sizeHint() const override;

protected:
    explicit TRbCheckControl(QWidget *parent);

    void MouseEntered() override;
    void MouseLeft() override;
    void LeftButtonDown() override;
    void LeftButtonUp() override;
    void FocusChanged() override { Invalidate(); }
    void Resized() override { Invalidate(); }
    int FrameState() const override { return m_checked ? 1 : 0; }

    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    // Caption from captionLeft, edge lines and focus rectangle.
    void PaintCaptionAndLines(QPainter &painter, int captionLeft);

    TRbControlColors m_colors;
    QImage m_normalImage;
    QImage m_overImage;
    QImage m_clickedImage;
    bool m_checked = false;
    int m_spacing = 3;
    quint32 m_checkColor = 0x008000;

private:
    TBorderLines m_borderLines = 0;
    quint32 m_borderLinesColor = 0x808080;
    bool m_hotTrack = false;
    bool m_showFocusRect = true;
};

class TRbCheckBox : public TRbCheckControl
{
    Q_OBJECT

public:
    static constexpr int kBoxSize = 13;

    explicit TRbCheckBox(QWidget *parent = nullptr);

    Kind ControlKind() const override { return kCheckBox; }
    bool GradientBorder() const { return m_gradientBorder; }
    void setGradientBorder(bool value);
    // Where the box sits in the control.
    QRect BoxRect() const;

    void Click() override;
    int CaptionLeft() const override { return m_spacing + 16; }

protected:
    void UpdateImages() override;
    void RenderFrame(QImage &frame) override;

private:
    bool m_gradientBorder = true;
};
