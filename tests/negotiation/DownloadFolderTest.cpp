#include "negotiation/DownloadFolder.h"

#include "base/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The peer names the file: only a plain name in the folder comes out of it.
TEST(DownloadFolder, TheOfferedNameNeverLeavesTheFolder)
{
    const struct
    {
        const char *offered;
        const char *saved;
    } cases[] = {
        { "photo.jpg", "photo.jpg" },
        { "../../.bashrc", ".bashrc" },
        { "/etc/passwd", "passwd" },
        { "dossier\\sous\\note.txt", "note.txt" },
        { "..", "fichier" },
        { ".", "fichier" },
        { "", "fichier" },
        { "   ", "fichier" },
        { "a/", "fichier" },
        { "rapport annuel.pdf", "rapport annuel.pdf" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(DownloadFolder::safeFileName(QString::fromUtf8(c.offered)), QString::fromUtf8(c.saved)) << c.offered;
}

TEST(DownloadFolder, AutomaticNamesReplaceNothing)
{
    QTemporaryDir home;
    SettingsStore settings(home.filePath(QStringLiteral("Voxlane.conf")));
    const QString folder = home.filePath(QStringLiteral("recus"));
    settings.write(QStringLiteral("DownloadPath"), folder);
    DownloadFolder downloads(&settings);
    ASSERT_EQ(downloads.folder(), folder);
    QDir().mkpath(folder);
    for (const char *existing : { "photo.jpg", "archive.tar.gz", ".profile", "v1.2 notes.txt" }) {
        QFile f(QDir(folder).filePath(QString::fromLatin1(existing)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString underWay = QDir(folder).filePath(QStringLiteral("photo (2).jpg"));
    const auto taken = [&](const QString &path) { return path == underWay; };
    const struct
    {
        const char *offered;
        const char *path;
    } cases[] = {
        { "neuf.txt", "neuf.txt" },
        { "photo.jpg", "photo (3).jpg" }, // (2) is a download under way
        { "archive.tar.gz", "archive (2).tar.gz" },
        { ".profile", ".profile (2)" },
        { "../photo.jpg", "photo (3).jpg" },
        { "sans-extension", "sans-extension" },
        { "v1.2 notes.txt", "v1.2 notes (2).txt" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(downloads.automaticPath(QString::fromUtf8(c.offered), taken),
            QDir(folder).filePath(QString::fromUtf8(c.path)))
            << c.offered;
}

TEST(DownloadFolder, TheDialogOpensWhereTheLastFileWentElseInTheDownloadFolder)
{
    QTemporaryDir home;
    SettingsStore settings(home.filePath(QStringLiteral("Voxlane.conf")));
    DownloadFolder downloads(&settings);
    // Nothing set: the desktop's download folder, off by default.
    EXPECT_EQ(downloads.folder(), DownloadFolder::desktopDownloadFolder());
    EXPECT_FALSE(downloads.saveWithoutAsking());
    EXPECT_EQ(downloads.dialogFolder(), downloads.folder());

    const QString elsewhere = home.filePath(QStringLiteral("ailleurs"));
    QDir().mkpath(elsewhere);
    downloads.noteSaved(elsewhere + QStringLiteral("/film.avi"));
    EXPECT_EQ(downloads.dialogFolder(), elsewhere);
    // A folder removed since is not offered.
    QDir(elsewhere).removeRecursively();
    EXPECT_EQ(downloads.dialogFolder(), downloads.folder());

    downloads.setSaveWithoutAsking(true);
    EXPECT_TRUE(DownloadFolder(&settings).saveWithoutAsking());
    // Without a store, the defaults and nothing kept.
    DownloadFolder none(nullptr);
    none.setSaveWithoutAsking(true);
    EXPECT_FALSE(none.saveWithoutAsking());
    EXPECT_EQ(none.folder(), DownloadFolder::desktopDownloadFolder());
}

} // namespace
