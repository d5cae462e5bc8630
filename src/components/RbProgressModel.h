#pragma once

#include "components/RbDrawCore.h"

#include <QRect>

// The limits, position and filled area of a styled progress bar, apart
// from its window. Out-of-range settings are refused silently.
class RbProgressModel
{
public:
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Position() const { return m_position; }

    // Refused when equal to the current value or not above Min, except
    // while loading from a form, where the limits arrive one by one.
    bool setMax(int value);
    bool setMin(int value);
    // Clamped into [Min, Max].
    void setPosition(int value);
    void setLoading(bool loading) { m_loading = loading; }

    int Percent() const;

    // Refused when negative, unchanged or not below half the height.
    bool acceptsBorderWidth(int current, int value, int height) const;

    // The part of a width x height bar that shows the gradient, already
    // moved in by the border; empty at 0 %.
    QRect FilledRect(int width, int height, TProgressBarOrientation orientation, int borderWidth,
        TBorderLines lines) const;

    // "25%", or the caption, a space and the percentage.
    QString Text(const QString &caption, bool showCaption, bool showText) const;

private:
    void clamp();

    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    bool m_loading = false;
};
