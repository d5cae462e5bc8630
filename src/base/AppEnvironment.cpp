#include "base/AppEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

const QString AppEnvironment::kServiceCaSetting = QStringLiteral("ServiceCA");

QString AppEnvironment::chooseServiceCaFile(const QString &variable, const QString &setting)
{
    const QString chosen = variable.trimmed();
    return chosen.isEmpty() ? setting.trimmed() : chosen;
}

QString AppEnvironment::chooseHomeDir(const QString &homeVariable, const QString &executableDir,
                                      bool executableDirWritable, const QString &userDataDir)
{
    QString dir = homeVariable;
    if (dir.isEmpty())
        dir = (executableDirWritable || userDataDir.isEmpty()) ? executableDir : userDataDir;
    return QDir::cleanPath(QDir(dir).absolutePath());
}

bool AppEnvironment::prepareHomeDir(const QString &homeDir, const QString &executableDir)
{
    if (!QDir().mkpath(homeDir))
        return false;
    const QString sound = QDir(homeDir).filePath(QStringLiteral("newalert.wav"));
    if (!QFileInfo::exists(sound)) {
        const QString shipped = QDir(executableDir).filePath(QStringLiteral("../share/voxlane/newalert.wav"));
        if (QFileInfo::exists(shipped))
            QFile::copy(shipped, sound); // a missing sound only means a silent pop-up
    }
    return true;
}

AppEnvironment AppEnvironment::fromProcess()
{
    AppEnvironment env;
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString homeVariable = qEnvironmentVariable("VOXLANE_HOME");
    env.homeDir = chooseHomeDir(homeVariable, exeDir, QFileInfo(exeDir).isWritable(),
                                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    if (homeVariable.isEmpty() && env.homeDir != QDir::cleanPath(exeDir))
        prepareHomeDir(env.homeDir, exeDir);

    env.serviceUrl = qEnvironmentVariable("VOXLANE_SERVICE_URL");
    if (env.serviceUrl.isEmpty())
        env.serviceUrl = QStringLiteral(VOXLANE_SERVICE_URL_DEFAULT);
    while (env.serviceUrl.endsWith(u'/'))
        env.serviceUrl.chop(1);

    env.localIp = qEnvironmentVariable("VOXLANE_LOCAL_IP").trimmed();
    env.serviceCaFile = qEnvironmentVariable("VOXLANE_SERVICE_CA").trimmed();
    return env;
}
