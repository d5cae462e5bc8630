#include "base/SettingsStore.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(SettingsStore, ValuesSurviveAReopenAsWindows1252Texts)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tovanik/Voxlane.conf"));
    {
        SettingsStore store(path);
        EXPECT_TRUE(store.read(QStringLiteral("User")).isEmpty());
        EXPECT_TRUE(QFileInfo::exists(path));
        store.write(QStringLiteral("User"), QStringLiteral("Émile"));
        store.write(QStringLiteral("TempPath"), QStringLiteral(" C:\\Program Files\\Voxlane\\ "));
        store.write(QStringLiteral("Mdp"), QStringLiteral("Ā€")); // U+0100 has no byte
    }
    SettingsStore again(path);
    EXPECT_EQ(again.read(QStringLiteral("User")), QStringLiteral("Émile"));
    EXPECT_EQ(again.read(QStringLiteral("TempPath")), QStringLiteral(" C:\\Program Files\\Voxlane\\ "));
    EXPECT_EQ(again.read(QStringLiteral("Mdp")), QStringLiteral("?€"));
    EXPECT_TRUE(again.read(QStringLiteral("FireWall")).isEmpty());
}

TEST(SettingsStore, StoreIsPrivateToItsOwnerNewOrAlreadyThere)
{
    const auto fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto folderMode = fileMode | QFileDevice::ExeOwner;
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
        | QFileDevice::ReadOther;
    const auto openFolder = open | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    // QFile reports the owner's bits twice (as "user" and "owner").
    const auto modeOf = [](const QString &path) {
        return QFile::permissions(path)
            & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    };
    const struct
    {
        const char *what;
        bool existsBefore;
    } cases[] = { { "first start", false }, { "left readable by an earlier run", true } };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("Tovanik"));
        const QString path = folder + QStringLiteral("/Voxlane.conf");
        if (c.existsBefore) {
            ASSERT_TRUE(QDir().mkpath(folder));
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("[General]\nUser=alice\n");
            old.close();
            ASSERT_TRUE(QFile::setPermissions(folder, openFolder));
            ASSERT_TRUE(QFile::setPermissions(path, open));
        }
        SettingsStore store(path);
        store.read(QStringLiteral("User"));
        EXPECT_EQ(modeOf(folder), folderMode) << c.what;
        EXPECT_EQ(modeOf(path), fileMode) << c.what;
        // Writing replaces the file; the new one is private too.
        store.write(QStringLiteral("Mdp"), QStringLiteral("abcdef"));
        EXPECT_EQ(modeOf(path), fileMode) << c.what;
        EXPECT_EQ(modeOf(folder), folderMode) << c.what;
    }
}

TEST(SettingsStore, DefaultStoreFollowsXdgConfigHome)
{
    SettingsStore store;
    EXPECT_TRUE(store.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    EXPECT_TRUE(store.fileName().endsWith(QStringLiteral("Tovanik/Voxlane.conf")));
}

} // namespace
