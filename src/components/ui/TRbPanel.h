#pragma once

#include "components/RbPanelLook.h"
#include "components/ui/TRbCustomControl.h"

// The styled panel: a container with a rounded, optionally anti-aliased
// frame and a caption, or a group box whose frame opens under its caption.
class TRbPanel : public TRbCustomControl
{
    Q_OBJECT

public:
    explicit TRbPanel(QWidget *parent = nullptr);

    Kind ControlKind() const override { return kPanel; }

    TRbCaptionPos CaptionPosition() const { return m_captionPosition; }
    void setCaptionPosition(TRbCaptionPos value);
    int CornerWidth() const { return m_look.cornerWidth; }
    void setCornerWidth(int value);
    int BorderWidth() const { return m_look.borderWidth; }
    void setBorderWidth(int value);
    quint32 BorderColor() const { return m_look.borderColor; }
    void setBorderColor(quint32 value);
    quint32 OuterColor() const { return m_look.outerColor; }
    void setOuterColor(quint32 value);
    quint32 TextShadowColor() const { return m_textShadowColor; }
    void setTextShadowColor(quint32 value);
    bool Antialiased() const { return m_look.antialiased; }
    void setAntialiased(bool value);
    bool Gradient() const { return m_look.gradient; }
    void setGradient(bool value);
    quint32 DefaultFrom() const { return m_look.defaultFrom; }
    void setDefaultFrom(quint32 value);
    quint32 DefaultTo() const { return m_look.defaultTo; }
    void setDefaultTo(quint32 value);
    TGradientType GradientType() const { return m_look.gradientType; }
    void setGradientType(TGradientType value);
    // Takes the parent's colour as OuterColor when set.
    bool ParentColor() const { return m_parentColor; }
    void setParentColor(bool value);

    // The frame and face, drawn again if the appearance changed.
    const QImage &PanelImage();
    int ImageBuilds() const { return m_imageBuilds; }
    // Area left to child controls.
    QRect ClientArea() const;
    // Where the caption is written.
    QRect CaptionRect() const;

protected:
    void UpdateImages() override { RebuildImage(); }
    void Resized() override { RebuildImage(); }
    void ParentColorChanged() override;
    void RenderFrame(QImage &frame) override;
    void changeEvent(QEvent *event) override;

private:
    void RebuildImage();
    void syncLook();
    int captionTextHeight() const;

    RbPanelLook m_look;
    TRbCaptionPos m_captionPosition = cpTopLeft;
    quint32 m_textShadowColor = 0xFFFFFF;
    bool m_parentColor = false;
    QImage m_panelImage;
    int m_imageBuilds = 0;
    bool m_imageDirty = true;
};
