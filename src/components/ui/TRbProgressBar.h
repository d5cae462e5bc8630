#pragma once

#include "components/RbProgressModel.h"
#include "components/ui/TRbCustomControl.h"

// The styled progress bar: a cached gradient of which the part up to the
// percentage is shown, with the percentage (and caption) written over it.
class TRbProgressBar : public TRbCustomControl
{
    Q_OBJECT

public:
    explicit TRbProgressBar(QWidget *parent = nullptr);

    Kind ControlKind() const override { return kProgressBar; }

    quint32 DefaultFrom() const { return m_defaultFrom; }
    void setDefaultFrom(quint32 value);
    quint32 DefaultTo() const { return m_defaultTo; }
    void setDefaultTo(quint32 value);
    int Max() const { return m_model.Max(); }
    void setMax(int value);
    int Min() const { return m_model.Min(); }
    void setMin(int value);
    int Position() const { return m_model.Position(); }
    void setPosition(int value);
    int Step() const { return m_step; }
    void setStep(int value) { m_step = value; }
    TBorderLines BorderLines() const { return m_borderLines; }
    void setBorderLines(TBorderLines value);
    quint32 BorderColor() const { return m_borderColor; }
    void setBorderColor(quint32 value);
    int BorderWidth() const { return m_borderWidth; }
    void setBorderWidth(int value);
    TGradientType GradientType() const { return m_gradientType; }
    void setGradientType(TGradientType value);
    TProgressBarOrientation Orientation() const { return m_orientation; }
    void setOrientation(TProgressBarOrientation value);
    bool ShowText() const { return m_showText; }
    void setShowText(bool value);
    // While a form sets the limits one by one they are not checked.
    void setLoading(bool loading) { m_model.setLoading(loading); }

    int Percent() const { return m_model.Percent(); }
    QString Text() const { return m_model.Text(Caption(), ShowCaption(), m_showText); }
    QString AccessibleText() const override { return Text(); }

protected:
    void UpdateImages() override;
    void Resized() override { UpdateImages(); }
    void RenderFrame(QImage &frame) override;
    int FrameState() const override;

private:
    RbProgressModel m_model;
    QImage m_image;
    quint32 m_defaultFrom = 11966334;
    quint32 m_defaultTo = 14734025;
    int m_step = 1;
    TBorderLines m_borderLines = kAllBorderLines;
    quint32 m_borderColor = 0x808080;
    int m_borderWidth = 1;
    TGradientType m_gradientType = gtVertical;
    TProgressBarOrientation m_orientation = pbHorizontal;
    bool m_showText = true;
};
