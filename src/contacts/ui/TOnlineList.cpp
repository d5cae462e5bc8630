#include "contacts/ui/TOnlineList.h"

TOnlineList::TOnlineList(QWidget *parent)
    : TOnlineList(nullptr, parent)
{
}

TOnlineList::TOnlineList(OnlineListModel *model, QWidget *parent)
    : QTreeView(parent)
    , m_model(model ? model : new OnlineListModel(this))
{
    setModel(m_model);
    setRootIsDecorated(false);
    setUniformRowHeights(true); // a hundred thousand rows lay out in no time
}
