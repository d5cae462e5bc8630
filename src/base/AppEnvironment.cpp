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

namespace {

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// The same folder however it is spelled: through a link (/bin and /usr/bin
// on a merged system), relative, or with a trailing separator.
QString realPath(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? cleanAbsolute(path) : canonical;
}

// What an installation ships beside its bin/ folder.
QString sharedFilesOf(const QString &executableDir)
{
    return QDir(executableDir).filePath(QStringLiteral("../share/voxlane"));
}

} // namespace

AppEnvironment::RunPlace AppEnvironment::RunPlace::inspect(
    const QString &executableDir, const QString &installedBinDir)
{
    RunPlace place;
    place.executableDir = realPath(executableDir);
    place.installedBinDir = installedBinDir.isEmpty() ? QString() : realPath(installedBinDir);
    place.sharedFilesBeside = QFileInfo(sharedFilesOf(executableDir)).isDir();
    place.executableDirWritable = QFileInfo(executableDir).isWritable();
    return place;
}

bool AppEnvironment::RunPlace::installed() const
{
    return sharedFilesBeside
        || (!installedBinDir.isEmpty() && cleanAbsolute(executableDir) == cleanAbsolute(installedBinDir));
}

QString AppEnvironment::chooseHomeDir(
    const QString &homeVariable, const RunPlace &place, const QString &userDataDir)
{
    if (!homeVariable.isEmpty())
        return cleanAbsolute(homeVariable);
    const bool perUser = !userDataDir.isEmpty() && (place.installed() || !place.executableDirWritable);
    return cleanAbsolute(perUser ? userDataDir : place.executableDir);
}

bool AppEnvironment::prepareHomeDir(const QString &homeDir, const QString &executableDir)
{
    if (!QDir().mkpath(homeDir))
        return false;
    const QString sound = QDir(homeDir).filePath(QStringLiteral("newalert.wav"));
    if (!QFileInfo::exists(sound)) {
        const QString shipped = QDir(sharedFilesOf(executableDir)).filePath(QStringLiteral("newalert.wav"));
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
    const RunPlace place = RunPlace::inspect(exeDir, QStringLiteral(VOXLANE_INSTALLED_BINDIR));
    env.homeDir = chooseHomeDir(
        homeVariable, place, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
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
