#include "components/DesktopRoots.h"

#include <QGuiApplication>
#include <QIcon>
#include <QStandardPaths>

DesktopRoots DesktopRoots::fromEnvironment()
{
    DesktopRoots roots;
    roots.dataDirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    roots.configDirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    // The platform theme only knows the desktop's icon theme once a GUI
    // application runs; before that, the fallbacks apply.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        roots.themeName = QIcon::themeName();
    return roots;
}
