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

QString MainWindowFixture::uniqueLoopbackAddress(int index)
{
    // One address per process id (below 16 million), never in 127.0.x.x.
    const qint64 pid = QCoreApplication::applicationPid();
    const qint64 host = pid % 254 + 1;
    const qint64 mid = (pid / 254) % 256;
    // Process ids stay below 254 * 256 * 65 (pid_max is at most 4194304),
    // so high is at most 65 for index 0; index 2 lives in 65..129 (meeting
    // index 0 of another process only above 4 million), index 1 in 128..254.
    const qint64 base = (pid / (254 * 256)) % 127 + 1;
    const qint64 high = base + (index == 1 ? 127 : index == 2 ? 64 : 0);
    return QStringLiteral("127.%1.%2.%3").arg(high).arg(mid).arg(host);
}
