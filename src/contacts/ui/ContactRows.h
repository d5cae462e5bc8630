#pragma once

#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>

class QTreeWidget;
class QTreeWidgetItem;

// Rows of the contact view and of the send page's recipient list: the text
// sits in the second column, and an image index both picks the picture of
// the first column and says what the row is.
namespace ContactRows {

constexpr int kImageIndexRole = Qt::UserRole;

// Image indexes.
constexpr int kHeader = -1; // "——— En Ligne ———" / "—— Hors Ligne ——"
constexpr int kPlaceholder = -2; // "Aucun contact en ligne"
constexpr int kOnline = 0;
constexpr int kOffline = 1;
// Pictures of the shared image list used by the menus.
constexpr int kCardImage = 4;
constexpr int kMailImage = 6;

QString onlineHeader(); // "——— En Ligne ———"
QString offlineHeader(); // "—— Hors Ligne ——"
QString placeholder(); // "Aucun contact en ligne"

// A row showing text with the given image.
QTreeWidgetItem *makeRow(const QString &text, int imageIndex);
// The row's image index; a row made without one counts as a header.
int imageIndexOf(const QTreeWidgetItem *row);
QString textOf(const QTreeWidgetItem *row);

// The picture of an image index of the shared image list (empty for the
// negative ones).
QIcon image(int imageIndex);

// Report style, no column headers, a 19-pixel picture column and a
// 130-pixel text column, the look of each row after its image index.
void setUpView(QTreeWidget *view);

// Bold headers, grey placeholder, brown offline contacts; online contacts in
// the view's default font.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

} // namespace ContactRows
