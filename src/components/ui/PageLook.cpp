#include "components/ui/PageLook.h"

#include "components/TColor.h"

#include <QLabel>

QFont PageLook::font(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("Trebuchet MS"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QLabel *PageLook::heading(const QString &text, const QString &objectName, QWidget *page)
{
    auto *label = new QLabel(text, page);
    label->setObjectName(objectName);
    label->setFont(font(18, true));
    label->setGeometry(16, 10, 500, 26);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, TColor::toQColor(kMenuSelectedColor));
    label->setPalette(p);
    return label;
}

void CenterControl(QWidget *control, QWidget *parent, int mode)
{
    if (!control || !parent)
        return;
    // Integer division truncates toward zero, so a control wider than its
    // parent gets a negative position.
    if (mode == 1 || mode == 3)
        control->move((parent->width() - control->width()) / 2, control->y());
    if (mode == 2 || mode == 3)
        control->move(control->x(), (parent->height() - control->height()) / 2);
}
