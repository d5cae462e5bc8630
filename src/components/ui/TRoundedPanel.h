#pragma once

#include <QColor>
#include <QWidget>

// A panel with rounded corners: a vertical gradient (or one colour when both
// ends are the same) and an optional border.
class TRoundedPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TRoundedPanel(QWidget *parent = nullptr);

    void setGradient(const QColor &top, const QColor &bottom);
    void setCornerWidth(int width);
    // A width of 0 draws no border.
    void setBorder(int width, const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_top = Qt::white;
    QColor m_bottom = Qt::white;
    int m_cornerWidth = 10;
    int m_borderWidth = 0;
    QColor m_borderColor = Qt::gray;
};
