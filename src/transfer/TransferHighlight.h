#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The highlight and the selection of one page's stack (downloads or
// uploads). At most one panel is highlighted; the selection is the name of
// the highlighted panel, kept after that panel is removed until the next
// click replaces it.
class TransferHighlight
{
public:
    enum class Button { Left, Right, Other };

    // What a release on a panel's background asks of the view.
    struct Click
    {
        QStringList repaintNormal;   // panels to repaint with the normal gradient
        QString repaintHighlighted;  // the panel to repaint highlighted, or empty
        bool openMenu = false;       // open PopupMenu1 once, at the mouse
    };

    // list: the page's panel names in stack order; clicked: the panel whose
    // background received the release.
    Click mouseUp(const QStringList &list, const QString &clicked, Button button);

    bool isHighlighted(const QString &name) const { return m_highlighted.contains(name); }
    QString selection() const { return m_selection; }
    // A removed panel loses its highlight; the selection text stays.
    void forget(const QString &name) { m_highlighted.remove(name); }
    void clear()
    {
        m_highlighted.clear();
        m_selection.clear();
    }

private:
    QSet<QString> m_highlighted;
    QString m_selection;
};
