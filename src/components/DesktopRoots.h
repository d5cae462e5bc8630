#pragma once

#include <QString>
#include <QStringList>

// Where the desktop keeps its association database: the XDG data folders
// (MIME applications, icon themes, pixmaps; the user's own first), the XDG
// configuration folders (mimeapps.list; the user's first) and the icon theme
// the desktop asked for. Tests point these at folders of their own.
struct DesktopRoots
{
    QStringList dataDirs;
    QStringList configDirs;
    QString themeName; // empty: the themes every desktop has ("default", "hicolor")

    static DesktopRoots fromEnvironment();
};
