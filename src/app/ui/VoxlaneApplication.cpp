#include "app/ui/VoxlaneApplication.h"

#include "base/ErrorReport.h"

#include <QMessageBox>

VoxlaneApplication::VoxlaneApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Voxlane"));
    setApplicationDisplayName(QStringLiteral("Voxlane"));
    setOrganizationName(QStringLiteral("Tovanik"));
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
