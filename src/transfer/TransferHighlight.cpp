#include "transfer/TransferHighlight.h"

TransferHighlight::Click TransferHighlight::mouseUp(const QStringList &list, const QString &clicked, Button button)
{
    Click click;
    if (!m_highlighted.contains(clicked)) {
        for (const QString &name : list) {
            if (m_highlighted.remove(name))
                click.repaintNormal.append(name);
        }
        m_highlighted.insert(clicked);
        click.repaintHighlighted = clicked;
    } else if (button == Button::Left) {
        m_highlighted.remove(clicked);
        click.repaintNormal.append(clicked);
        m_selection.clear();
    }
    // The selection follows the highlighted panel of the list; with none
    // highlighted it keeps its value (emptied above by an un-highlight).
    for (const QString &name : list) {
        if (m_highlighted.contains(name)) {
            m_selection = name;
            break;
        }
    }
    click.openMenu = button == Button::Right && !m_selection.isEmpty();
    return click;
}
