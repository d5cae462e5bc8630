#pragma once

#include <QList>
#include <QWidget>

// A status bar made of panels of given widths, each with a text and an
// alignment; the last panel takes what is left.
class TStatusBar : public QWidget
{
    Q_OBJECT

public:
    struct Panel {
        int width = 50;
        QString text;
        Qt::Alignment alignment = Qt::AlignLeft;
    };

    explicit TStatusBar(QWidget *parent = nullptr);

    int panelCount() const { return int(m_panels.size()); }
    void addPanel(int width, Qt::Alignment alignment = Qt::AlignLeft);
    const Panel &panel(int i) const { return m_panels.at(i); }
    void setPanelText(int i, const QString &text);
    void setPanelWidth(int i, int width);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<Panel> m_panels;
};
