#pragma once

#include "contacts/PresenceDirectory.h"

#include <QAbstractTableModel>

// The online list as a two-column table (pseudonym, address as received)
// over the presence directory it owns. A poll replaces the whole table in
// one reset, whatever its size, instead of one row at a time.
class OnlineListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    void assign(QList<PresenceDirectory::Record> records);
    void clear();
    const PresenceDirectory &directory() const { return m_directory; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    PresenceDirectory m_directory;
};
