#include "contacts/OnlineListModel.h"

void OnlineListModel::assign(QList<PresenceDirectory::Record> records)
{
    beginResetModel();
    m_directory.assign(std::move(records));
    endResetModel();
}

void OnlineListModel::clear()
{
    beginResetModel();
    m_directory.clear();
    endResetModel();
}

int OnlineListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_directory.size());
}

int OnlineListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant OnlineListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= m_directory.size())
        return {};
    const PresenceDirectory::Record &r = m_directory.records().at(index.row());
    return index.column() == 0 ? r.name : r.address;
}

QVariant OnlineListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Pseudo") : QStringLiteral("Adresse");
}
