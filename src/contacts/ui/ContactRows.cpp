#include "contacts/ui/ContactRows.h"

#include "components/TColor.h"

#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

#include <algorithm>

namespace ContactRows {

QString onlineHeader()
{
    return QStringLiteral("——— En Ligne ———");
}

QString offlineHeader()
{
    return QStringLiteral("—— Hors Ligne ——");
}

QString placeholder()
{
    return QStringLiteral("Aucun contact en ligne");
}

QTreeWidgetItem *makeRow(const QString &text, int imageIndex)
{
    auto *row = new QTreeWidgetItem;
    row->setText(1, text);
    row->setData(0, kImageIndexRole, imageIndex);
    if (imageIndex >= 0)
        row->setIcon(0, image(imageIndex));
    return row;
}

int imageIndexOf(const QTreeWidgetItem *row)
{
    const QVariant v = row->data(0, kImageIndexRole);
    return v.isValid() ? v.toInt() : kHeader;
}

QString textOf(const QTreeWidgetItem *row)
{
    return row->text(1);
}

QIcon image(int imageIndex)
{
    static QHash<int, QIcon> cache;
    if (imageIndex < 0)
        return {};
    const auto it = cache.constFind(imageIndex);
    if (it != cache.cend())
        return *it;
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (imageIndex) {
    case kOnline:
        p.setBrush(QColor(60, 170, 60));
        p.setPen(QColor(30, 110, 30));
        p.drawEllipse(3, 3, 10, 10);
        break;
    case kOffline:
        p.setBrush(QColor(200, 80, 60));
        p.setPen(QColor(117, 47, 13));
        p.drawEllipse(3, 3, 10, 10);
        break;
    case kCardImage:
        p.setBrush(QColor(250, 240, 200));
        p.setPen(QColor(120, 100, 60));
        p.drawRect(1, 3, 14, 10);
        p.drawLine(8, 6, 13, 6);
        p.drawLine(8, 9, 13, 9);
        p.drawEllipse(3, 5, 3, 3);
        break;
    case kMailImage:
        p.setBrush(Qt::white);
        p.setPen(QColor(60, 80, 140));
        p.drawRect(1, 3, 14, 10);
        p.drawLine(1, 3, 8, 9);
        p.drawLine(15, 3, 8, 9);
        break;
    default:
        break;
    }
    p.end();
    const QIcon icon(pm);
    cache.insert(imageIndex, icon);
    return icon;
}

void setUpView(QTreeWidget *view)
{
    view->setColumnCount(2);
    view->setHeaderHidden(true);
    view->setRootIsDecorated(false);
    // The style's minimum section width would widen the picture column.
    view->header()->setMinimumSectionSize(0);
    view->header()->setStretchLastSection(false);
    view->setColumnWidth(0, 19);
    // 130 by design; wider where the bold headers need it in the fonts at
    // hand, so that they are read whole.
    QFont bold = view->font();
    bold.setBold(true);
    int textColumn = 130;
    for (const QString &header : { onlineHeader(), offlineHeader() })
        textColumn = std::max(textColumn, QFontMetrics(bold).horizontalAdvance(header) + 8);
    view->setColumnWidth(1, textColumn);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setUniformRowHeights(true);
    view->setItemDelegate(new RowDelegate(view));
}

void RowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant v = index.siblingAtColumn(0).data(kImageIndexRole);
    const int imageIndex = v.isValid() ? v.toInt() : kHeader;
    switch (imageIndex) {
    case kHeader:
        option->font.setBold(true);
        break;
    case kPlaceholder:
        option->palette.setColor(QPalette::Text, TColor::toQColor(0x808080));
        break;
    case kOffline:
        option->palette.setColor(QPalette::Text, TColor::toQColor(864117)); // RGB 117, 47, 13
        break;
    default:
        break;
    }
}

} // namespace ContactRows
