#include "contacts/ui/TOnlineList.h"

TOnlineList::TOnlineList(QWidget *parent)
    : QTreeView(parent)
    , m_model(new OnlineListModel(this))
{
    setModel(m_model);
    setRootIsDecorated(false);
    setUniformRowHeights(true); // a hundred thousand rows lay out in no time
}
