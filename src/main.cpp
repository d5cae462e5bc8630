#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "app/ui/VoxlaneApplication.h"

int main(int argc, char *argv[])
{
    VoxlaneApplication app(argc, argv);
    VoxlaneApplication::installErrorBox();
    VoxlaneApplication::installFrenchTranslations();
    ApplicationWindows windows;
    windows.frmPrincipal->show();
    return app.exec();
}
