#include "components/ui/TStatusBar.h"

#include <QPainter>

TStatusBar::TStatusBar(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(19);
}

void TStatusBar::addPanel(int width, Qt::Alignment alignment)
{
    m_panels.append({width, QString(), alignment});
    update();
}

void TStatusBar::setPanelText(int i, const QString &text)
{
    m_panels[i].text = text;
    update();
}

void TStatusBar::setPanelWidth(int i, int width)
{
    m_panels[i].width = width;
    update();
}

QSize TStatusBar::sizeHint() const
{
    return {200, 19};
}

void TStatusBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    int x = 0;
    for (int i = 0; i < m_panels.size(); ++i) {
        const Panel &panel = m_panels.at(i);
        const int w = i + 1 == m_panels.size() ? std::max(panel.width, width() - x) : panel.width;
        const QRect r(x, 0, w - 2, height() - 1);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(r);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r.adjusted(3, 0, -3, 0), int(panel.alignment | Qt::AlignVCenter), panel.text);
        x += w;
    }
}
