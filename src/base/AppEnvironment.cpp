#include "base/AppEnvironment.h"

#include <QCoreApplication>
#include <QDir>

AppEnvironment AppEnvironment::fromProcess()
{
    AppEnvironment env;
    env.homeDir = qEnvironmentVariable("VOXLANE_HOME");
    if (env.homeDir.isEmpty())
        env.homeDir = QCoreApplication::applicationDirPath();
    env.homeDir = QDir::cleanPath(QDir(env.homeDir).absolutePath());

    env.serviceUrl = qEnvironmentVariable("VOXLANE_SERVICE_URL");
    if (env.serviceUrl.isEmpty())
        env.serviceUrl = QStringLiteral(VOXLANE_SERVICE_URL_DEFAULT);
    while (env.serviceUrl.endsWith(u'/'))
        env.serviceUrl.chop(1);

    env.localIp = qEnvironmentVariable("VOXLANE_LOCAL_IP").trimmed();
    return env;
}
