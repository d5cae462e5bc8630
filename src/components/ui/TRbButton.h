#pragma once

#include "components/RbColors.h"
#include "components/ui/TRbCustomControl.h"

#include <QPointer>

// The styled push button: gradient faces that fade between normal, hot and
// pressed, an optional glyph, grouping into a set of which one stays down,
// and the default (Enter) and cancel (Escape) keys of its window.
class TRbButton : public TRbCustomControl
{
    Q_OBJECT

public:
    explicit TRbButton(QWidget *parent = nullptr);
    ~TRbButton() override;

    Kind ControlKind() const override { return kButton; }

    int ModalResult() const { return m_modalResult; }
    void setModalResult(int value) { m_modalResult = value; }
    QImage Glyph() const { return m_glyph; }
    void setGlyph(const QImage &value);
    int Spacing() const { return m_spacing; }
    void setSpacing(int value);
    TButtonLayout Layout() const { return m_layout; }
    void setLayout(TButtonLayout value);
    TRbControlColors &Colors() { return m_colors; }
    TFadeSpeed FadeSpeed() const { return m_fade.FadeSpeed; }
    void setFadeSpeed(TFadeSpeed value) { m_fade.FadeSpeed = value; }
    bool ShowFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool value);
    bool HotTrack() const { return m_hotTrack; }
    void setHotTrack(bool value);
    bool Default() const { return m_default; }
    void setDefault(bool value);
    bool Cancel() const { return m_cancel; }
    void setCancel(bool value) { m_cancel = value; }
    bool GradientBorder() const { return m_gradientBorder; }
    void setGradientBorder(bool value);
    int GroupIndex() const { return m_groupIndex; }
    void setGroupIndex(int value) { m_groupIndex = value; }
    bool AllowAllUp() const { return m_allowAllUp; }
    void setAllowAllUp(bool value) { m_allowAllUp = value; }
    bool Down() const { return m_down; }
    void setDown(bool value);
    TGradientType GradientType() const { return m_gradientType; }
    void setGradientType(TGradientType value);

    const QImage &NormalImage() const { return m_normalImage; }
    const QImage &OverImage() const { return m_overImage; }
    const QImage &ClickedImage() const { return m_clickedImage; }

    // The colours the client's forms give most of their buttons: a pale
    // yellow-green face whose Over gradient is the same pair reversed.
    void UseFormColors();

    // What a mouse click, Enter, Escape or Space does.
    void Click();

    bool IsCheckable() const override { return m_groupIndex > 0; }
    bool IsChecked() const override { return m_down; }

protected:
    void UpdateImages() override;
    void MouseEntered() override;
    void MouseLeft() override;
    void LeftButtonDown() override;
    void LeftButtonUp() override;
    void FocusChanged() override { Invalidate(); }
    void Resized() override { UpdateImages(); }
    void RenderFrame(QImage &frame) override;
    int FrameState() const override { return m_down ? 1 : 0; }

    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    bool CanRelease() const;
    void ReleaseGroup();
    bool canTakeFocus() const;
    void watchWindow();

    TRbControlColors m_colors;
    int m_modalResult = 0;
    QImage m_glyph;
    int m_spacing = 2;
    TButtonLayout m_layout = blGlyphLeft;
    bool m_showFocusRect = true;
    bool m_hotTrack = false;
    bool m_default = false;
    bool m_cancel = false;
    bool m_gradientBorder = true;
    int m_groupIndex = 0;
    bool m_allowAllUp = false;
    bool m_down = false;
    TGradientType m_gradientType = gtVertical;
    QImage m_normalImage;
    QImage m_overImage;
    QImage m_clickedImage;
    QPointer<QWidget> m_watchedWindow;
};
