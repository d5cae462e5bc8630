#include "support/MainWindowFixture.h"

#include "app/ui/TfrmPrincipal.h"

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

QString MainWindowFixture::uniqueLoopbackAddress()
{
    const qint64 pid = QCoreApplication::applicationPid();
    return QStringLiteral("127.%1.%2.%3")
        .arg((pid >> 16) & 0xFF)
        .arg((pid >> 8) & 0xFF)
        .arg((pid & 0xFF) | 1);
}
