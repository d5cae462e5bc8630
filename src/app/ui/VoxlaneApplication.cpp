#include "app/ui/VoxlaneApplication.h"

#include "app/ErrorReport.h"

#include <QIcon>
#include <QMessageBox>

VoxlaneApplication::VoxlaneApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Voxlane"));
    setApplicationDisplayName(QStringLiteral("Voxlane"));
    setOrganizationName(QStringLiteral("Tovanik"));
    // The menu entry and the icon an installation puts in the hicolor theme.
    setDesktopFileName(QStringLiteral("voxlane"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("voxlane")));
}

bool VoxlaneApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ErrorReport::reportCurrentException();
        return false;
    }
}

void VoxlaneApplication::installErrorBox()
{
    ErrorReport::setHandler([](const QString &message) {
        // One box per failure, as the platform's default report shows it.
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), message);
    });
}
