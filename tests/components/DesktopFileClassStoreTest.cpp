#include "components/DesktopFileClassStore.h"

#include "components/FileTypeLook.h"
#include "components/TFileClassRegistry.h"
#include "components/TvzkFileAsso.h"
#include "components/UserFileClassStore.h"

#include "IconFiles.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString defaultOf(const FileClassStore &store, const QString &key)
{
    const auto value = store.value(key, QString());
    return value ? value->data : QStringLiteral("<absent>");
}

bool sameImage(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

// A desktop of the test's own: a theme inheriting another, default
// applications chosen by the user and declared by an application.
struct FakeDesktop : testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QString data = dir.filePath("data");
        const QString config = dir.filePath("config");
        for (const char *sub : { "data/icons/mytheme/16x16/mimetypes", "data/icons/mytheme/32x32/mimetypes",
                 "data/icons/basetheme/48x48/mimetypes", "data/applications", "data/pixmaps", "config" })
            ASSERT_TRUE(QDir().mkpath(dir.filePath(QString::fromLatin1(sub))));
        write("data/icons/mytheme/index.theme",
            "[Icon Theme]\nName=Mine\nInherits=basetheme\nDirectories=16x16/mimetypes,32x32/mimetypes\n\n"
            "[16x16/mimetypes]\nSize=16\nType=Fixed\n\n[32x32/mimetypes]\nSize=32\nType=Fixed\n");
        write("data/icons/basetheme/index.theme",
            "[Icon "
            "Theme]\nName=Base\nDirectories=48x48/mimetypes\n\n[48x48/mimetypes]\nSize=48\nType=Fixed\n");
        ASSERT_TRUE(IconFiles::writePng(path("data/icons/mytheme/16x16/mimetypes/text-plain.png"), small));
        ASSERT_TRUE(IconFiles::writePng(path("data/icons/mytheme/32x32/mimetypes/text-plain.png"), large));
        ASSERT_TRUE(IconFiles::writePng(path("data/icons/basetheme/48x48/mimetypes/audio-x-generic.png"),
            IconFiles::square(48, Qt::blue)));
        write("config/mimeapps.list",
            "[Added Associations]\ntext/plain=other.desktop;\n\n"
            "[Default Applications]\ntext/plain=missing.desktop;myedit.desktop;\n");
        write("data/applications/myedit.desktop",
            "[Desktop Entry]\nType=Application\nName=My Editor\nExec=myedit %F\n");
        write("data/applications/mimeinfo.cache", "[MIME Cache]\naudio/mpeg=player.desktop;\n");
        write("data/applications/player.desktop", "[Desktop Entry]\nName=Player\nExec=player %U\n");

        roots.dataDirs = { data };
        roots.configDirs = { config };
        roots.themeName = QStringLiteral("mytheme");
    }

    void write(const char *name, const char *text) { ASSERT_TRUE(IconFiles::writeText(path(name), text)); }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    DesktopRoots roots;
    const QImage small = IconFiles::square(16, Qt::red);
    const QImage large = IconFiles::square(32, Qt::green);
};

} // namespace

TEST_F(FakeDesktop, ShowsTheDatabaseInTheRegistryLayout)
{
    const DesktopFileClassStore desktop(roots);

    EXPECT_EQ(defaultOf(desktop, QStringLiteral(".TXT")), QStringLiteral("text/plain"));
    EXPECT_FALSE(defaultOf(desktop, QStringLiteral("text/plain")).isEmpty());
    EXPECT_NE(defaultOf(desktop, QStringLiteral("Text/Plain")), QStringLiteral("<absent>"));
    EXPECT_EQ(defaultOf(desktop, QStringLiteral("text/plain\\DefaultIcon\\")),
        path("data/icons/mytheme/32x32/mimetypes/text-plain.png") + QStringLiteral(",0"));
    EXPECT_EQ(desktop.iconFileFor(QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")), 16),
        path("data/icons/mytheme/16x16/mimetypes/text-plain.png"));
    // No "audio-mpeg" icon anywhere: the generic one, from the inherited theme.
    EXPECT_EQ(defaultOf(desktop, QStringLiteral("audio/mpeg\\DefaultIcon")),
        path("data/icons/basetheme/48x48/mimetypes/audio-x-generic.png") + QStringLiteral(",0"));

    // The user's default application, the first one that exists...
    EXPECT_EQ(defaultOf(desktop, QStringLiteral("text/plain\\shell\\open")), QStringLiteral("My Editor"));
    EXPECT_EQ(
        defaultOf(desktop, QStringLiteral("text/plain\\shell\\open\\command")), QStringLiteral("myedit %F"));
    EXPECT_TRUE(desktop.keyExists(QStringLiteral("text/plain\\shell")));
    // ...or any application that declares the type.
    EXPECT_EQ(
        defaultOf(desktop, QStringLiteral("audio/mpeg\\shell\\open\\command")), QStringLiteral("player %U"));

    const struct
    {
        const char *key;
    } absent[] = {
        { ".zzqx" },
        { "." },
        { "zzqx" },
        { "text/zzqx" },
        { "image/png\\DefaultIcon" },
        { "image/png\\shell\\open\\command" },
        { "text/plain\\shell\\edit\\command" },
        { "text/plain\\shell\\open\\command\\more" },
        { "text/plain\\other" },
        { ".txt\\DefaultIcon" },
    };
    for (const auto &a : absent) {
        EXPECT_FALSE(desktop.keyExists(QString::fromLatin1(a.key))) << a.key;
        EXPECT_FALSE(desktop.value(QString::fromLatin1(a.key), QString()).has_value()) << a.key;
    }
    EXPECT_FALSE(desktop.value(QStringLiteral(".txt"), QStringLiteral("Content Type")).has_value());
}

TEST_F(FakeDesktop, IsReadOnly)
{
    DesktopFileClassStore desktop(roots);
    TFileClassRegistry reg(desktop);
    EXPECT_FALSE(reg.OpenKey(QStringLiteral(".new"), true));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral(".txt"), false));
    EXPECT_FALSE(reg.WriteString(QString(), QStringLiteral("x")));
    EXPECT_FALSE(reg.DeleteKey(QStringLiteral("\\.txt")));
    EXPECT_EQ(reg.ReadString(QString()), QStringLiteral("text/plain"));

    // So creating an association straight on it fails, and says so.
    ScriptedDialogs dialogs;
    TvzkFileAsso asso(std::make_shared<DesktopFileClassStore>(roots), &dialogs);
    asso.SetReadOnly(false);
    EXPECT_FALSE(asso.CreateExtension(
        QStringLiteral("qqq"), QStringLiteral("Q"), {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, 0, false));
}

TEST_F(FakeDesktop, LookupGivesTheThemesIcon)
{
    ScriptedDialogs dialogs;
    TvzkFileAsso asso(std::make_shared<UserFileClassStore>(
                          path("classes.json"), std::make_shared<DesktopFileClassStore>(roots)),
        &dialogs);
    const QImage stock = IconFiles::square(32, Qt::gray);

    asso.SetExtension(QStringLiteral("TXT"));
    EXPECT_TRUE(asso.Exists());
    EXPECT_EQ(asso.ExtensionDesc(), QStringLiteral("text/plain"));
    EXPECT_TRUE(sameImage(asso.GetIcon(), large));
    EXPECT_TRUE(sameImage(
        FileTypeLook::IconFor(asso, QStringLiteral("notes.txt"), stock, FileTypeLook::Large), large));
    // The small size is the large icon scaled down.
    const QImage scaled
        = FileTypeLook::IconFor(asso, QStringLiteral("notes.txt"), stock, FileTypeLook::Small);
    EXPECT_EQ(scaled.size(), QSize(16, 16));
    EXPECT_EQ(scaled.pixel(8, 8), large.pixel(0, 0));

    EXPECT_TRUE(sameImage(FileTypeLook::IconFor(asso, QStringLiteral("x.zzqx"), stock), stock));
    EXPECT_TRUE(sameImage(FileTypeLook::IconFor(asso, QStringLiteral("README"), stock), stock));
    EXPECT_TRUE(sameImage(
        FileTypeLook::IconFor(asso, QStringLiteral("x.png"), stock), stock)); // no image icon in this theme
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FakeDesktop, ChangesGoToTheUserStoreOverTheDesktop)
{
    ScriptedDialogs dialogs;
    auto desktop = std::make_shared<DesktopFileClassStore>(roots);
    TvzkFileAsso asso(std::make_shared<UserFileClassStore>(path("classes.json"), desktop), &dialogs);
    asso.SetReadOnly(false);
    asso.SetExtension(QStringLiteral(".txt"));
    EXPECT_EQ(asso.IconIndex(), 0); // the lookup that lets writes through

    asso.SetFileDesc(QStringLiteral("Texte"));
    asso.SetOpenCommand(QStringLiteral("autre %1"));
    EXPECT_EQ(asso.FileDesc(), QStringLiteral("Texte"));
    EXPECT_EQ(asso.OpenCommand(), QStringLiteral("autre %1"));
    EXPECT_EQ(asso.OpenCommandDesc(), QStringLiteral("My Editor")); // still the desktop's
    EXPECT_NE(defaultOf(*desktop, QStringLiteral("text/plain")), QStringLiteral("Texte"));

    // Deleting hides the desktop's association from this user, for good.
    EXPECT_TRUE(asso.DeleteExtension(QStringLiteral("txt"), true, false));
    EXPECT_FALSE(asso.Exists());
    EXPECT_TRUE(asso.GetIcon().isNull());
    EXPECT_TRUE(desktop->keyExists(QStringLiteral(".txt")));
    UserFileClassStore later(path("classes.json"), desktop);
    EXPECT_FALSE(later.keyExists(QStringLiteral(".txt")));
    EXPECT_FALSE(later.keyExists(QStringLiteral("text/plain\\DefaultIcon")));
    EXPECT_TRUE(later.keyExists(QStringLiteral(".mp3")));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FakeDesktop, AssociatedIconOfTheFileItself)
{
    const DesktopFileClassStore desktop(roots);
    const QImage stock = IconFiles::square(16, Qt::gray);
    write("plain-without-extension", "just some words\n");

    // The type comes from the content when the name says nothing.
    EXPECT_TRUE(sameImage(
        FileTypeLook::AssociatedIcon(desktop, path("plain-without-extension"), stock, FileTypeLook::Small),
        small));
    EXPECT_TRUE(sameImage(
        FileTypeLook::AssociatedIcon(desktop, path("plain-without-extension"), stock, FileTypeLook::Large),
        large));
    EXPECT_TRUE(sameImage(FileTypeLook::AssociatedIcon(desktop, path("missing.txt"), stock), stock));
    EXPECT_TRUE(sameImage(FileTypeLook::AssociatedIcon(desktop, path("data"), stock), stock)); // a folder
}

TEST(DesktopFailsSoft, NoIconThemeGivesTheStockPictures)
{
    QTemporaryDir empty;
    const DesktopRoots nothing { { empty.path() }, { empty.path() }, QStringLiteral("nosuchtheme") };
    ScriptedDialogs dialogs;
    TvzkFileAsso asso(std::make_shared<UserFileClassStore>(
                          empty.filePath("classes.json"), std::make_shared<DesktopFileClassStore>(nothing)),
        &dialogs);
    const QImage stock = IconFiles::square(32, Qt::gray);
    for (const char *name : { "a.txt", "a.mp3", "a.png", "a.pdf", "a.zzqx", "a" }) {
        EXPECT_TRUE(sameImage(FileTypeLook::IconFor(asso, QString::fromLatin1(name), stock), stock)) << name;
        EXPECT_TRUE(asso.IconFile().isEmpty()) << name; // no theme: no DefaultIcon key
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

// The lookup on this machine, with the desktop's database as installed
// (scripts/setup installs shared-mime-info and an icon theme).
TEST(DesktopOnThisMachine, CommonTypesHaveADescriptionAndAnIcon)
{
    if (qEnvironmentVariableIsSet("VOXLANE_NO_DESKTOP_DATABASE"))
        GTEST_SKIP() << "the child run without a desktop database";
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    auto desktop = std::make_shared<DesktopFileClassStore>();
    TvzkFileAsso asso(std::make_shared<UserFileClassStore>(dir.filePath("classes.json"), desktop), &dialogs);
    const QImage stock = IconFiles::square(32, Qt::gray);

    for (const char *ext : { ".txt", ".mp3", ".png", ".pdf" }) {
        const QString name = QStringLiteral("file") + QString::fromLatin1(ext);
        EXPECT_FALSE(FileTypeLook::DescriptionFor(asso, name).isEmpty()) << ext;
        EXPECT_TRUE(asso.ExtensionDesc().contains(u'/')) << ext; // a MIME type
        const QImage icon = FileTypeLook::IconFor(asso, name, stock, FileTypeLook::Large);
        EXPECT_FALSE(sameImage(icon, stock)) << ext << " gives " << asso.IconFile().toStdString();
        EXPECT_EQ(icon.size(), QSize(32, 32)) << ext;
        EXPECT_EQ(FileTypeLook::IconFor(asso, name, stock, FileTypeLook::Small).size(), QSize(16, 16)) << ext;
    }
    EXPECT_TRUE(FileTypeLook::DescriptionFor(asso, QStringLiteral("file.zzqx")).isEmpty());
    EXPECT_TRUE(sameImage(FileTypeLook::IconFor(asso, QStringLiteral("file.zzqx"), stock), stock));

    ASSERT_TRUE(IconFiles::writeText(dir.filePath("notes.txt"), "some words\n"));
    EXPECT_FALSE(sameImage(FileTypeLook::AssociatedIcon(*desktop, dir.filePath("notes.txt"), stock), stock));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// Run in a child process whose XDG folders are empty: a machine with
// neither MIME database nor icon theme (a minimal container).
TEST(DesktopWithoutDatabase, ChildLookup)
{
    if (!qEnvironmentVariableIsSet("VOXLANE_NO_DESKTOP_DATABASE"))
        GTEST_SKIP() << "runs as the child of DesktopWithoutDatabase.FailsSoft";
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    auto desktop = std::make_shared<DesktopFileClassStore>();
    TvzkFileAsso asso(std::make_shared<UserFileClassStore>(dir.filePath("classes.json"), desktop), &dialogs);
    const QImage stock = IconFiles::square(32, Qt::gray);
    for (const char *ext : { ".txt", ".mp3", ".png", ".pdf" }) {
        const QString name = QStringLiteral("file") + QString::fromLatin1(ext);
        EXPECT_TRUE(sameImage(FileTypeLook::IconFor(asso, name, stock), stock)) << ext;
        // A Qt built with its own copy of the MIME database still knows the
        // types; one that reads the machine's knows none.
        if (!QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).isValid()) {
            EXPECT_TRUE(FileTypeLook::DescriptionFor(asso, name).isEmpty()) << ext;
            EXPECT_FALSE(asso.Exists()) << ext;
        }
    }
    ASSERT_TRUE(IconFiles::writeText(dir.filePath("notes.txt"), "some words\n"));
    EXPECT_TRUE(sameImage(FileTypeLook::AssociatedIcon(*desktop, dir.filePath("notes.txt"), stock), stock));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST(DesktopWithoutDatabase, FailsSoft)
{
    if (qEnvironmentVariableIsSet("VOXLANE_NO_DESKTOP_DATABASE"))
        GTEST_SKIP();
    QTemporaryDir empty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VOXLANE_NO_DESKTOP_DATABASE"), QStringLiteral("1"));
    for (const char *var : { "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS" })
        env.insert(QString::fromLatin1(var), empty.path());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--gtest_filter=DesktopWithoutDatabase.ChildLookup") });
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("SKIPPED"))) << output.toStdString();
}
