#include "app/QuitSignals.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "app/ui/VoxlaneApplication.h"
#include "base/BlockMemory.h"

int main(int argc, char *argv[])
{
    KeepBlockMemory();
    VoxlaneApplication app(argc, argv);
    VoxlaneApplication::installErrorBox();
    VoxlaneApplication::installFrenchTranslations();
    ApplicationWindows windows;
    // The main window may be hidden in the tray when a pop-up, the last
    // window on show, closes: only closing the main window ends the program.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(&windows.main(), &TfrmPrincipal::closing, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // A kill, Ctrl+C or the session's end leave through the same exit.
    QuitSignals quitSignals;
    ConnectQuitRequests(&windows.main(), &quitSignals);
    windows.main().show();
    return app.exec();
}
