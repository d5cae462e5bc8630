#pragma once

#include <QLabel>

// A label that acts as a menu entry or a link: it reports clicks and the
// pointer entering and leaving it.
class TClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TClickLabel(const QString &text = QString(), QWidget *parent = nullptr);

    void setBold(bool bold);
    bool isBold() const { return font().bold(); }
    // Colour as the program's 0x00BBGGRR value.
    void setTColor(quint32 color);
    quint32 tColor() const { return m_color; }

signals:
    void clicked();
    void entered();
    void left();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    quint32 m_color = 0;
};
