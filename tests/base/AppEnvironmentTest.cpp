#include "base/AppEnvironment.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct HomeCase
{
    const char *name;
    QString variable;
    bool executableDirWritable;
    QString userDataDir;
    QString expected;
};

TEST(AppEnvironment, ProgramFolderFollowsTheVariableThenWhereTheExecutableCanWrite)
{
    const QString exe = QStringLiteral("/opt/voxlane/bin");
    const QString data = QStringLiteral("/home/u/.local/share/Tovanik/Voxlane");
    const HomeCase cases[] = {
        {"build folder", {}, true, data, exe},
        {"installed", {}, false, data, data},
        {"variable wins over a build folder", QStringLiteral("/tmp/vx/"), true, data, QStringLiteral("/tmp/vx")},
        {"variable wins over an installation", QStringLiteral("/tmp/vx"), false, data, QStringLiteral("/tmp/vx")},
        {"no per-user folder known", {}, false, {}, exe},
    };
    for (const HomeCase &c : cases)
        EXPECT_EQ(AppEnvironment::chooseHomeDir(c.variable, exe, c.executableDirWritable, c.userDataDir), c.expected)
            << c.name;
}

TEST(AppEnvironment, FirstStartMakesThePerUserFolderAndCopiesTheShippedSoundOnce)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/voxlane")));
    const QString exeDir = prefix.filePath(QStringLiteral("bin"));
    {
        QFile shipped(prefix.filePath(QStringLiteral("share/voxlane/newalert.wav")));
        ASSERT_TRUE(shipped.open(QIODevice::WriteOnly));
        shipped.write("RIFF shipped");
    }
    const QString home = prefix.filePath(QStringLiteral("user/data/Voxlane"));
    ASSERT_TRUE(AppEnvironment::prepareHomeDir(home, exeDir));
    QFile copied(QDir(home).filePath(QStringLiteral("newalert.wav")));
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("RIFF shipped"));
    copied.close();

    // A sound the member put there is theirs: never replaced.
    ASSERT_TRUE(copied.open(QIODevice::WriteOnly | QIODevice::Truncate));
    copied.write("RIFF mine");
    copied.close();
    ASSERT_TRUE(AppEnvironment::prepareHomeDir(home, exeDir));
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("RIFF mine"));
}

TEST(AppEnvironment, TheExtraAuthorityFileComesFromTheVariableThenTheSetting)
{
    const struct
    {
        const char *name;
        QString variable;
        QString setting;
        QString expected;
    } cases[] = {
        { "neither: the system's authorities only", {}, {}, {} },
        { "the setting", {}, QStringLiteral("/etc/voxlane/ca.pem"), QStringLiteral("/etc/voxlane/ca.pem") },
        { "the variable", QStringLiteral("/tmp/ca.pem"), {}, QStringLiteral("/tmp/ca.pem") },
        { "the variable wins", QStringLiteral("/tmp/ca.pem"), QStringLiteral("/etc/voxlane/ca.pem"),
            QStringLiteral("/tmp/ca.pem") },
        { "blanks name nothing", QStringLiteral("  "), QStringLiteral(" /etc/ca.pem "), QStringLiteral("/etc/ca.pem") },
    };
    for (const auto &c : cases)
        EXPECT_EQ(AppEnvironment::chooseServiceCaFile(c.variable, c.setting), c.expected) << c.name;

    QTemporaryDir home;
    qputenv("VOXLANE_HOME", home.path().toLocal8Bit());
    qputenv("VOXLANE_SERVICE_CA", " /tmp/community.pem ");
    EXPECT_EQ(AppEnvironment::fromProcess().serviceCaFile, QStringLiteral("/tmp/community.pem"));
    qunsetenv("VOXLANE_SERVICE_CA");
    EXPECT_EQ(AppEnvironment::fromProcess().serviceCaFile, QString());
    qunsetenv("VOXLANE_HOME");
    EXPECT_EQ(AppEnvironment::kServiceCaSetting, QStringLiteral("ServiceCA"));
}

TEST(AppEnvironment, AFolderThatCannotBeMadeIsReported)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(AppEnvironment::prepareHomeDir(dir.filePath(QStringLiteral("file/home")), dir.path()));
}

} // namespace
