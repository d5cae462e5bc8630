#include "app/ui/FrenchFileColumns.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLocale>
#include <QTreeView>

FrenchFileColumns::FrenchFileColumns(QObject *parent)
    : QIdentityProxyModel(parent)
{
}

QVariant FrenchFileColumns::data(const QModelIndex &index, int role) const
{
    const QVariant shown = QIdentityProxyModel::data(index, role);
    if (role != Qt::DisplayRole || (index.column() != Size && index.column() != Modified))
        return shown;
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    // A folder has no size: the model leaves the cell empty, so do we.
    if (!files || shown.toString().isEmpty())
        return shown;
    const QModelIndex source = mapToSource(index);
    const QLocale french(QLocale::French, QLocale::France);
    if (index.column() == Size)
        return french.formattedDataSize(files->size(source));
    return french.toString(files->lastModified(source), QLocale::ShortFormat);
}

bool FrenchFileColumns::apply(QFileDialog &dialog)
{
    // Qt's own dialog has its widgets from the start; a desktop's has none.
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return false;
    dialog.setProxyModel(new FrenchFileColumns(&dialog));
    QHeaderView *header = view->header();
    header->setSectionResizeMode(Size, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(Modified, QHeaderView::ResizeToContents);
    return true;
}
