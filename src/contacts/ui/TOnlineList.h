#pragma once

#include "contacts/OnlineListModel.h"

#include <QTreeView>

// The hidden diagnostic list of every member online and their encoded
// address. It shows the presence directory of the last poll, which is also
// where the address look-up reads.
class TOnlineList : public QTreeView
{
    Q_OBJECT

public:
    explicit TOnlineList(QWidget *parent = nullptr);
    // Shows model, which someone else keeps (the presence monitor).
    explicit TOnlineList(OnlineListModel *model, QWidget *parent = nullptr);

    void assign(QList<PresenceDirectory::Record> records) { m_model->assign(std::move(records)); }
    // Empties the list (and so the address directory).
    void clear() { m_model->clear(); }
    const PresenceDirectory &directory() const { return m_model->directory(); }
    int topLevelItemCount() const { return int(m_model->directory().size()); }

private:
    OnlineListModel *m_model;
};
