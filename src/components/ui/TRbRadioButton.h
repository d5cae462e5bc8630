#pragma once

#include "components/ui/TRbCheckBox.h"

// The styled radio button: a smooth ring drawn at four times its size and
// averaged down; checking one unchecks its siblings.
class TRbRadioButton : public TRbCheckControl
{
    Q_OBJECT

public:
    explicit TRbRadioButton(QWidget *parent = nullptr);

    Kind ControlKind() const override { return kRadioButton; }
    TRadioSize RadioType() const { return m_radioType; }
    void setRadioType(TRadioSize value);
    void setChecked(bool value) override;
    QRect CircleRect() const;

    void Click() override;
    int CaptionLeft() const override;

protected:
    void UpdateImages() override;
    void Resized() override { UpdateImages(); }
    void RenderFrame(QImage &frame) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void UncheckSiblings();

    TRadioSize m_radioType = rsMedium;
    QImage m_shown;
    int m_shownFrame = -1;
};
