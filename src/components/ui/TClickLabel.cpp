#include "components/ui/TClickLabel.h"

#include "components/TColor.h"

#include <QMouseEvent>

TClickLabel::TClickLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
}

void TClickLabel::setBold(bool bold)
{
    QFont f = font();
    f.setBold(bold);
    setFont(f);
}

void TClickLabel::setTColor(quint32 color)
{
    m_color = color;
    // Enabled look only: a disabled label keeps the style's disabled colour,
    // so that an entry that cannot be used looks it.
    QPalette p = palette();
    p.setColor(QPalette::Active, QPalette::WindowText, TColor::toQColor(color));
    p.setColor(QPalette::Inactive, QPalette::WindowText, TColor::toQColor(color));
    setPalette(p);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint()))
        emit clicked();
}

void TClickLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    emit entered();
}

void TClickLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    emit left();
}
