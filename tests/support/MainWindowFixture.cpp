#include "support/MainWindowFixture.h"

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

AppServices MainWindowFixture::services() const
{
    AppServices services;
    services.dialogs = const_cast<ScriptedDialogs *>(&dialogs);
    services.settings = settings.get();
    services.environment = environment;
    services.httpLimits = httpLimits;
    services.desktopBus = desktopBus;
    return services;
}

TestClient &MainWindowFixture::createWindow()
{
    window.reset();
    window = std::make_unique<TestClient>(services());
    return *window;
}

QString MainWindowFixture::uniqueLoopbackAddress(int index)
{
    return ::uniqueLoopbackAddress(index);
}
