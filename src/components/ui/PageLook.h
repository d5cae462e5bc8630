#pragma once

#include <QFont>
#include <QString>

class QLabel;
class QWidget;

// What the pages of the main window share in their looks: the menu's
// colours, the design font and the heading at the top of a page.
namespace PageLook {

constexpr quint32 kMenuPlainColor = 1263955;     // RGB 83, 73, 19
constexpr quint32 kMenuSelectedColor = 12937777; // RGB 49, 106, 197

// "Trebuchet MS" at pixelSize pixels (a sans-serif where it is missing).
QFont font(int pixelSize, bool bold = false);

// The page's title, top left, bold, in the selected menu entry's colour:
// made first, so that it lies under every other control of the page.
QLabel *heading(const QString &text, const QString &objectName, QWidget *page);

} // namespace PageLook

// Centres control in parent's client area: mode 1 horizontally, 2
// vertically, 3 both; other modes do nothing.
void CenterControl(QWidget *control, QWidget *parent, int mode);
