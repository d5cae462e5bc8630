#pragma once

#include <QColor>

// Colours are 32-bit values laid out 0x00BBGGRR, red in the low byte.
class TColor
{
public:
    static QColor toQColor(quint32 color)
    {
        return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
    }
    static quint32 fromQColor(const QColor &c)
    {
        return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
    }
};
