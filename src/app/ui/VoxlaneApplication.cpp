#include "app/ui/VoxlaneApplication.h"

#include "base/ErrorReport.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

VoxlaneApplication::VoxlaneApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // No display name: the X11 platform appends it to every window title
    // ("Nouveau contact — Voxlane"), and each caption must read as designed.
    setApplicationName(QStringLiteral("Voxlane"));
    setOrganizationName(QStringLiteral("Tovanik"));
    // The menu entry and the icon an installation puts in the hicolor theme.
    setDesktopFileName(QStringLiteral("voxlane"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("voxlane")));
}

bool VoxlaneApplication::installFrenchTranslations()
{
    // The program speaks French whatever the desktop's language, so the
    // texts that Qt itself draws (dialog buttons, the file dialog, the
    // folder tree's header) are French too.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(qApp);
    if (!translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
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
