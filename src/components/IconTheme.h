#pragma once

#include "components/DesktopRoots.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Finds an icon's file in the freedesktop icon themes: the desktop's theme
// and the themes it inherits, then "default" and its parents, then
// "hicolor", then the bare pixmaps folders. Only formats this build can
// read are offered (SVG needs Qt's SVG image plug-in).
//
// Folders are read lazily and remembered, so one instance serves a run.
class IconTheme
{
public:
    explicit IconTheme(DesktopRoots roots);

    // The file of the named icon nearest to size pixels; empty when no theme
    // holds it.
    QString lookup(const QString &iconName, int size) const;

private:
    struct Directory
    {
        QString path; // relative to the theme folder
        int size = 0;
        int minSize = 0;
        int maxSize = 0;
        int threshold = 2;
        enum { Fixed, Scalable, Threshold } type = Threshold;
        int distance(int wanted) const;
    };
    struct Theme
    {
        QStringList baseDirs; // existing <data>/icons/<name> folders
        QList<Directory> directories;
        QStringList inherits;
    };

    const Theme &theme(const QString &name) const;
    QStringList themeChain() const;
    QString lookupIn(const Theme &theme, const QString &iconName, int size) const;

    DesktopRoots m_roots;
    QStringList m_extensions;
    mutable QHash<QString, Theme> m_themes;
    mutable QHash<QString, QString> m_found; // "name@size" -> file
};
