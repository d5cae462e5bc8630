#include "support/MainWindowFixture.h"

#include "app/ui/TfrmPrincipal.h"
#include "support/LoopbackAddress.h"

#include <QCoreApplication>

MainWindowFixture::MainWindowFixture()
{
    settings = std::make_unique<SettingsStore>(home.filePath(QStringLiteral("config/Voxlane.conf")));
    environment.homeDir = home.path();
    environment.serviceUrl = QStringLiteral("http://127.0.0.1:1");
    environment.localIp = uniqueLoopbackAddress();
}

MainWindowFixture::~MainWindowFixture()
{
    window.reset();
    QCoreApplication::processEvents();
}

TfrmPrincipal &MainWindowFixture::createWindow()
{
    AppServices services;
    services.dialogs = &dialogs;
    services.settings = settings.get();
    services.environment = environment;
    services.httpLimits = httpLimits;
    window = std::make_unique<TfrmPrincipal>(services);
    return *window;
}

QString MainWindowFixture::uniqueLoopbackAddress(int index)
{
    return ::uniqueLoopbackAddress(index);
}
