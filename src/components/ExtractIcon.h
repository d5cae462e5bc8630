#pragma once

#include <QImage>
#include <QString>

// The shell's icon extraction: the icon at index in an icon file. An .ico
// file holds one image per index; a single picture (.png, .svg, .xpm, any
// format Qt reads) only index 0; an SVG is drawn at the desktop's large icon
// size (32 pixels). A negative index names an icon resource by identifier,
// which only Windows programs and libraries carry: there is none here.
//
// A null image means "no icon": a missing file, a file without pictures
// (a program, a library, a text), an index past the last image.
QImage ExtractIcon(const QString &fileName, int index);
