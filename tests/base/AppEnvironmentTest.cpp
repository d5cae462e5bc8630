#include "base/AppEnvironment.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(AppEnvironment, InstalledProgramUsesThePerUserFolderWhoeverRunsIt)
{
    using RunPlace = AppEnvironment::RunPlace;
    const QString data = QStringLiteral("/home/u/.local/share/Tovanik/Voxlane");
    const QString prefixBin = QStringLiteral("/usr/local/bin"); // what the build was configured with
    const QString build = QStringLiteral("/home/u/src/voxlane/build");
    const QString userBin = QStringLiteral("/home/u/.local/bin");
    // Root may write everywhere, so for root every folder is writable.
    const struct
    {
        const char *what;
        QString variable;
        RunPlace place;
        QString userDataDir;
        QString expected;
    } cases[] = {
        { "own build folder (or anyone's, as root)", {}, { build, prefixBin, false, true }, data, build },
        { "build folder of someone else", {}, { build, prefixBin, false, false }, data, data },
        { "installed at the build's prefix", {}, { prefixBin, prefixBin, true, false }, data, data },
        { "installed at the build's prefix, as root", {}, { prefixBin, prefixBin, true, true }, data, data },
        { "the build's prefix, shared files removed, as root", {}, { prefixBin, prefixBin, false, true },
            data, data },
        { "the build's prefix spelled otherwise", {},
            { QStringLiteral("/usr/local/sbin/../bin/"), prefixBin, false, true }, data, data },
        { "installed in the home folder (--prefix ~/.local)", {}, { userBin, prefixBin, true, true }, data,
            data },
        { "package in /usr, as root", {}, { QStringLiteral("/usr/bin"), prefixBin, true, true }, data, data },
        { "no prefix known, shared files beside", {}, { QStringLiteral("/opt/vx/bin"), {}, true, true }, data,
            data },
        { "variable wins over a build folder", QStringLiteral("/tmp/vx/"), { build, prefixBin, false, true },
            data, QStringLiteral("/tmp/vx") },
        { "variable wins over an installation, as root", QStringLiteral("/tmp/vx"),
            { prefixBin, prefixBin, true, true }, data, QStringLiteral("/tmp/vx") },
        { "no per-user folder known", {}, { prefixBin, prefixBin, true, false }, {}, prefixBin },
    };
    for (const auto &c : cases)
        EXPECT_EQ(AppEnvironment::chooseHomeDir(c.variable, c.place, c.userDataDir), c.expected) << c.what;
}

TEST(AppEnvironment, TheFileSystemTellsAnInstallationFromABuildFolder)
{
    // prefix/bin with prefix/share/voxlane beside it, and a build folder.
    QTemporaryDir root;
    const QDir top(root.path());
    ASSERT_TRUE(top.mkpath(QStringLiteral("prefix/bin")));
    ASSERT_TRUE(top.mkpath(QStringLiteral("prefix/share/voxlane")));
    ASSERT_TRUE(top.mkpath(QStringLiteral("other/bin")));
    ASSERT_TRUE(top.mkpath(QStringLiteral("src/build")));
    ASSERT_TRUE(
        QFile::link(top.filePath(QStringLiteral("other/bin")), top.filePath(QStringLiteral("linked"))));
    const QString otherBin = top.filePath(QStringLiteral("other/bin"));
    using RunPlace = AppEnvironment::RunPlace;

    const RunPlace relocated = RunPlace::inspect(top.filePath(QStringLiteral("prefix/bin")), otherBin);
    EXPECT_TRUE(relocated.sharedFilesBeside);
    EXPECT_TRUE(relocated.executableDirWritable);
    EXPECT_TRUE(relocated.installed());

    const RunPlace build = RunPlace::inspect(top.filePath(QStringLiteral("src/build")), otherBin);
    EXPECT_FALSE(build.sharedFilesBeside);
    EXPECT_FALSE(build.installed());

    // The build's own prefix reached through a link.
    const RunPlace throughLink = RunPlace::inspect(top.filePath(QStringLiteral("linked")), otherBin + u'/');
    EXPECT_FALSE(throughLink.sharedFilesBeside);
    EXPECT_TRUE(throughLink.installed());
    EXPECT_EQ(
        AppEnvironment::chooseHomeDir({}, throughLink, QStringLiteral("/data")), QStringLiteral("/data"));
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
