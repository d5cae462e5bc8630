#include "components/RbProgressModel.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

bool RbProgressModel::setMax(int value)
{
    if (!m_loading && (value == m_max || value <= m_min))
        return false;
    m_max = value;
    clamp();
    return true;
}

bool RbProgressModel::setMin(int value)
{
    if (!m_loading && (value == m_min || value >= m_max))
        return false;
    m_min = value;
    clamp();
    return true;
}

void RbProgressModel::setPosition(int value)
{
    m_position = value;
    clamp();
}

void RbProgressModel::clamp()
{
    // While loading the limits may be crossed for a moment; never let the
    // position leave whichever side is stricter.
    m_position = std::max(m_min, std::min(m_position, m_max));
}

int RbProgressModel::Percent() const
{
    if (m_max == m_min)
        return 0;
    const double ratio = std::abs(double(m_position) - m_min) / (double(m_max) - m_min) * 100.0;
    return std::clamp(int(std::nearbyint(ratio)), 0, 100);
}

bool RbProgressModel::acceptsBorderWidth(int current, int value, int height) const
{
    return value >= 0 && value != current && value < height / 2;
}

QRect RbProgressModel::FilledRect(
    int width, int height, TProgressBarOrientation orientation, int borderWidth, TBorderLines lines) const
{
    const int percent = Percent();
    if (percent <= 0)
        return {};
    int left = 0, top = 0, right = width, bottom = height;
    if (orientation == pbHorizontal)
        right = width * percent / 100;
    else
        top = (100 - percent) * height / 100;
    const int inset = borderWidth + (lines != 0 ? 1 : 0);
    left += inset;
    top += inset;
    right -= inset;
    bottom -= inset;
    if (right <= left || bottom <= top)
        return {};
    return QRect(left, top, right - left, bottom - top);
}

QString RbProgressModel::Text(const QString &caption, bool showCaption, bool showText) const
{
    const QString percent = QString::number(Percent()) + QLatin1Char('%');
    if (!caption.isEmpty() && showCaption)
        return showText ? caption + QLatin1Char(' ') + percent : caption;
    return showText ? percent : QString();
}
