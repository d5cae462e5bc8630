#include "base/SettingsStore.h"

#include "support/QtPrinters.h"

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

TEST(SettingsStore, DefaultStoreFollowsXdgConfigHome)
{
    SettingsStore store;
    EXPECT_TRUE(store.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    EXPECT_TRUE(store.fileName().endsWith(QStringLiteral("Tovanik/Voxlane.conf")));
}

} // namespace
