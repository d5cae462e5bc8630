#pragma once

#include <QWidget>

// A rectangle shape: a fill (or none) and an outline of a given width drawn
// inside the bounds. Colours are 0x00BBGGRR values.
class TShape : public QWidget
{
    Q_OBJECT

public:
    explicit TShape(QWidget *parent = nullptr);

    void setBrushColor(quint32 color);
    quint32 brushColor() const { return m_brush; }
    // No fill: what lies under the shape shows through its inside.
    void setBrushClear(bool clear);
    bool brushClear() const { return m_clear; }
    void setPenColor(quint32 color);
    quint32 penColor() const { return m_pen; }
    void setPenWidth(int width);
    int penWidth() const { return m_penWidth; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    quint32 m_brush = 0xFFFFFF;
    quint32 m_pen = 0;
    int m_penWidth = 1;
    bool m_clear = false;
};
