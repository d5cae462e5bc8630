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

TEST(AppEnvironment, AFolderThatCannotBeMadeIsReported)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(AppEnvironment::prepareHomeDir(dir.filePath(QStringLiteral("file/home")), dir.path()));
}

} // namespace
