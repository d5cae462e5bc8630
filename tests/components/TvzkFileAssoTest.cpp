#include "components/TvzkFileAsso.h"

#include "base/ErrorReport.h"
#include "components/FileTypeLook.h"
#include "components/TFileClassRegistry.h"
#include "components/UserFileClassStore.h"

#include "IconFiles.h"
#include "support/QtPrinters.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The texts the user reads, spelled out here rather than taken from the
// class so that a changed letter shows.
const QString kReadOnly = QString::fromUtf8("Impossible de modifier la valeur en ReadOnly !");
const QString kNotExists = QString::fromUtf8("Impossible de modifier la valeur, l'extension n'existe pas !");
const QString kIconWrite
    = QString::fromUtf8("Impossible de modifier l'icône de cette manière.\n\rModifiez plutôt son "
                        "chemin \"IconFile\" ainsi que son index \"IconIndex\".");
const QString kEmptyFields = QString::fromUtf8("\"Extension\", \"FileDesc\" ne peuvent être vides.");
const QString kKeyExists = QString::fromUtf8("Clé existante, création impossible si \"Overwrite\"=false.");

struct FileAssoFixture : testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(IconFiles::writeIco(
            file("multi.ico"), { IconFiles::square(16, Qt::red), IconFiles::square(32, Qt::green) }));
        ASSERT_TRUE(IconFiles::writePng(file("note.png"), IconFiles::square(48, Qt::blue)));
    }

    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    // ".ext" -> type -> description and icon, written straight into the store.
    void associate(const QString &ext, const QString &type, const QString &desc, const QString &defaultIcon)
    {
        store->setValue(ext, QString(), { type, false });
        store->setValue(type, QString(), { desc, false });
        if (!defaultIcon.isNull())
            store->setValue(type + QStringLiteral("\\DefaultIcon"), QString(), { defaultIcon, false });
    }

    QString stored(const QString &key) const
    {
        const auto value = store->value(key, QString());
        return value ? value->data : QStringLiteral("<absent>");
    }

    QStringList shownTexts()
    {
        QStringList texts;
        for (const auto &m : dialogs.messages) {
            EXPECT_EQ(m.kind, DialogService::Kind::Error);
            texts << m.text;
        }
        dialogs.messages.clear();
        return texts;
    }

    QTemporaryDir dir;
    std::shared_ptr<UserFileClassStore> store
        = std::make_shared<UserFileClassStore>(dir.filePath("classes.json"));
    ScriptedDialogs dialogs;
    TvzkFileAsso asso { store, &dialogs };
};

} // namespace

TEST_F(FileAssoFixture, StartsReadOnlyWithNothingLookedUp)
{
    EXPECT_TRUE(asso.ReadOnly());
    EXPECT_EQ(asso.Extension(), QString());
    EXPECT_FALSE(asso.Exists());
    EXPECT_TRUE(asso.GetIcon().isNull());
    EXPECT_FALSE(asso.About().isEmpty());
    asso.SetAbout(QStringLiteral("anything"));
    EXPECT_NE(asso.About(), QStringLiteral("anything"));
}

TEST_F(FileAssoFixture, SetExtensionNormalises)
{
    const struct
    {
        QString given;
        QString extension;
    } cases[] = {
        { QStringLiteral("MP3"), QStringLiteral(".mp3") },
        { QStringLiteral(".MP3"), QStringLiteral(".mp3") },
        { QStringLiteral(".mp3"), QStringLiteral(".mp3") },
        { QString(), QString() },
        { QStringLiteral("  "), QStringLiteral("  ") }, // blank stays as given
        { QStringLiteral("\u00C9T\u00C9"), QStringLiteral(".\u00E9t\u00E9") },
        { QStringLiteral("tar.GZ"), QStringLiteral(".tar.gz") },
    };
    for (const auto &c : cases) {
        asso.SetExtension(c.given);
        EXPECT_EQ(asso.Extension(), c.extension) << c.given.toStdString();
        EXPECT_EQ(asso.property("Extension").toString(), c.extension);
    }
}

TEST_F(FileAssoFixture, ReadsTheAssociation)
{
    associate(QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"),
        file("multi.ico") + QStringLiteral(",1"));
    store->setValue(QStringLiteral("mp3.file\\shell\\open"), QString(), { QStringLiteral("&Lire"), false });
    store->setValue(QStringLiteral("mp3.file\\shell\\open\\command"), QString(),
        { QStringLiteral("player \"%1\""), false });
    store->setValue(QStringLiteral("mp3.file\\shell\\printto\\command"), QString(),
        { QStringLiteral("pr %1 %2"), false });

    asso.SetExtension(QStringLiteral("MP3"));
    EXPECT_TRUE(asso.Exists());
    EXPECT_EQ(asso.ExtensionDesc(), QStringLiteral("mp3.file"));
    EXPECT_EQ(asso.FileDesc(), QStringLiteral("Son MP3"));
    EXPECT_EQ(asso.IconFile(), file("multi.ico"));
    EXPECT_EQ(asso.IconIndex(), 1);
    EXPECT_EQ(asso.OpenCommandDesc(), QStringLiteral("&Lire"));
    EXPECT_EQ(asso.OpenCommand(), QStringLiteral("player \"%1\""));
    EXPECT_EQ(asso.PrintToCommand(), QStringLiteral("pr %1 %2"));
    EXPECT_EQ(asso.EditCommand(), QString()); // absent reads as empty

    const QImage icon = asso.GetIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32)); // the second image of the file
    EXPECT_EQ(asso.property("Icon").value<QImage>().size(), QSize(32, 32));

    // An extension without association: no icon, and the previous one is forgotten.
    asso.SetExtension(QStringLiteral("zzz"));
    EXPECT_FALSE(asso.Exists());
    EXPECT_EQ(asso.FileDesc(), QString());
    EXPECT_TRUE(asso.GetIcon().isNull());
    asso.SetExtension(QString());
    EXPECT_FALSE(asso.Exists());
    EXPECT_TRUE(asso.GetIcon().isNull());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FileAssoFixture, DefaultIconValues)
{
    const struct
    {
        QString value;
        QString iconFile;
        int index;
        bool hasIcon;
    } cases[] = {
        // Environment variables are not expanded: no such file, no icon.
        { QStringLiteral("%SystemRoot%\\system32\\SHELL32.dll,0"),
            QStringLiteral("%SystemRoot%\\system32\\SHELL32.dll"), 0, false },
        // A real file with a negative index asks for resource 3: none here.
        { file("multi.ico") + QStringLiteral(",-3"), file("multi.ico"), -3, false },
        // No "," : the whole value is the file, index 0.
        { file("note.png"), file("note.png"), 0, true },
        { file("multi.ico") + QStringLiteral(", 1"), file("multi.ico"), 1, true },
        { file("multi.ico") + QStringLiteral(",2"), file("multi.ico"), 2, false }, // past the last image
        // Quotes are not removed: no such file.
        { u'"' + file("note.png") + QStringLiteral("\",0"), u'"' + file("note.png") + u'"', 0, false },
        { dir.path() + QStringLiteral(",0"), dir.path(), 0, false }, // a folder is no file
    };
    for (const auto &c : cases) {
        associate(QStringLiteral(".x"), QStringLiteral("x.file"), QStringLiteral("X"), c.value);
        asso.SetExtension(QStringLiteral(".x"));
        EXPECT_EQ(asso.IconFile(), c.iconFile) << c.value.toStdString();
        EXPECT_EQ(asso.IconIndex(), c.index) << c.value.toStdString();
        EXPECT_EQ(!asso.GetIcon().isNull(), c.hasIcon) << c.value.toStdString();
    }
}

TEST_F(FileAssoFixture, MalformedIconIndexIsAConversionError)
{
    associate(QStringLiteral(".x"), QStringLiteral("x.file"), QStringLiteral("X"),
        file("note.png") + QStringLiteral(","));
    asso.SetExtension(QStringLiteral(".x"));
    EXPECT_THROW(asso.GetIcon(), VoxlaneError);

    // The callers' one-call lookup shows its stock picture instead.
    const QImage stock = IconFiles::square(32, Qt::magenta);
    EXPECT_EQ(FileTypeLook::IconFor(asso, QStringLiteral("a.x"), stock), stock);
}

TEST_F(FileAssoFixture, GuardedWritesAreRefusedWithTheirTexts)
{
    associate(
        QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"), file("note.png"));
    const char *writers[] = { "EditCommand", "EditCommandDesc", "ExtensionDesc", "FileDesc", "IconFile",
        "OpenCommand", "OpenCommandDesc", "OpenNewCommand", "OpenNewCommandDesc", "PrintCommand",
        "PrintCommandDesc", "PrintToCommand", "PrintToCommandDesc" };
    const auto storeText = [this] {
        QFile f(file("classes.json"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray original = storeText();

    // The cached Exists flag is only refreshed by a lookup: right after
    // SetExtension it still says "no", whatever the store holds.
    asso.SetExtension(QStringLiteral(".mp3"));
    for (const char *name : writers) {
        asso.setProperty(name, QStringLiteral("new"));
        EXPECT_EQ(shownTexts(), QStringList { kNotExists }) << name;
    }
    asso.SetIconIndex(4);
    EXPECT_EQ(shownTexts(), QStringList { kNotExists });

    // After the lookup the extension is known, and ReadOnly refuses.
    asso.GetIcon();
    for (const char *name : writers) {
        asso.setProperty(name, QStringLiteral("new"));
        EXPECT_EQ(shownTexts(), QStringList { kReadOnly }) << name;
    }
    asso.SetIconIndex(4);
    EXPECT_EQ(shownTexts(), QStringList { kReadOnly });

    // Writable. An icon lookup that finds no icon file stops before the
    // flag is refreshed, so it still says ".mp3" exists: the write passes
    // the guard but ".zzz" has no type to write into.
    asso.SetReadOnly(false);
    asso.SetExtension(QStringLiteral(".zzz"));
    EXPECT_TRUE(asso.GetIcon().isNull());
    asso.SetOpenCommand(QStringLiteral("new"));
    EXPECT_TRUE(shownTexts().isEmpty());
    // Reading IconIndex refreshes it: refused as unknown.
    EXPECT_EQ(asso.IconIndex(), 0);
    asso.SetOpenCommand(QStringLiteral("new"));
    EXPECT_EQ(shownTexts(), QStringList { kNotExists });

    // A blank extension is refused without a word.
    asso.SetExtension(QString());
    asso.SetOpenCommand(QStringLiteral("new"));
    EXPECT_TRUE(shownTexts().isEmpty());

    EXPECT_EQ(storeText(), original); // nothing was written
    EXPECT_EQ(stored(QStringLiteral("mp3.file")), QStringLiteral("Son MP3"));
}

TEST_F(FileAssoFixture, IconIsNeverWrittenDirectly)
{
    for (bool readOnly : { true, false }) {
        asso.SetReadOnly(readOnly);
        asso.SetExists(true);
        asso.setProperty("Icon", IconFiles::square(16, Qt::red));
        EXPECT_EQ(shownTexts(), QStringList { kIconWrite });
    }
}

TEST_F(FileAssoFixture, AllowedWritesGoToTheirKeys)
{
    associate(QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"),
        file("multi.ico") + QStringLiteral(",1"));
    asso.SetReadOnly(false);
    asso.SetExtension(QStringLiteral(".mp3"));
    asso.SetExists(true);

    const struct
    {
        const char *property;
        const char *key;
    } cases[] = {
        { "EditCommand", "mp3.file\\shell\\edit\\command" },
        { "EditCommandDesc", "mp3.file\\shell\\edit" },
        { "OpenCommand", "mp3.file\\shell\\open\\command" },
        { "OpenCommandDesc", "mp3.file\\shell\\open" },
        { "OpenNewCommand", "mp3.file\\shell\\opennew\\command" },
        { "OpenNewCommandDesc", "mp3.file\\shell\\opennew" },
        { "PrintCommand", "mp3.file\\shell\\print\\command" },
        { "PrintCommandDesc", "mp3.file\\shell\\print" },
        { "PrintToCommand", "mp3.file\\shell\\printto\\command" },
        { "PrintToCommandDesc", "mp3.file\\shell\\printto" },
        { "FileDesc", "mp3.file" },
    };
    for (const auto &c : cases) {
        const QString value = QString::fromLatin1(c.property) + QStringLiteral(" %1");
        asso.setProperty(c.property, value);
        EXPECT_EQ(stored(QString::fromLatin1(c.key)), value) << c.property;
        EXPECT_EQ(asso.property(c.property).toString(), value) << c.property;
        EXPECT_FALSE(store->value(QString::fromLatin1(c.key), QString())->expandable);
    }

    asso.SetIconIndex(7); // keeps the file
    EXPECT_EQ(stored(QStringLiteral("mp3.file\\DefaultIcon")), file("multi.ico") + QStringLiteral(",7"));
    asso.SetIconFile(file("note.png")); // index back to 0
    EXPECT_EQ(stored(QStringLiteral("mp3.file\\DefaultIcon")), file("note.png") + QStringLiteral(",0"));

    asso.SetExtensionDesc(QStringLiteral("son.file"));
    EXPECT_EQ(stored(QStringLiteral(".mp3")), QStringLiteral("son.file"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FileAssoFixture, CreateExtensionWritesTheWholeLayout)
{
    asso.SetReadOnly(false);
    const QString none;
    ASSERT_TRUE(asso.CreateExtension(QStringLiteral("MP3"), QStringLiteral("Son MP3"),
        QStringLiteral("ed %1"), QStringLiteral("Modifier"), QStringLiteral("play \"%1\" %2"),
        QStringLiteral("Lire"), none, QStringLiteral("never written"), none, none, QStringLiteral("pt %1"),
        QStringLiteral("Imprimer sur"), QStringLiteral("%ProgramFiles%\\p\\p.exe"), 2, false));
    EXPECT_EQ(stored(QStringLiteral(".mp3")), QStringLiteral("mp3.file"));
    EXPECT_EQ(stored(QStringLiteral("mp3.file")), QStringLiteral("Son MP3"));
    EXPECT_EQ(stored(QStringLiteral("mp3.file\\DefaultIcon")), QStringLiteral("%ProgramFiles%\\p\\p.exe,2"));
    EXPECT_TRUE(store->value(QStringLiteral("mp3.file\\DefaultIcon"), QString())->expandable);
    EXPECT_EQ(stored(QStringLiteral("mp3.file\\shell\\edit")), QStringLiteral("Modifier"));
    EXPECT_FALSE(
        store->value(QStringLiteral("mp3.file\\shell\\edit"), QString())->expandable); // one "%" only
    EXPECT_EQ(stored(QStringLiteral("mp3.file\\shell\\open")), QStringLiteral("Lire"));
    EXPECT_TRUE(
        store->value(QStringLiteral("mp3.file\\shell\\open"), QString())->expandable); // "%1" and "%2"
    EXPECT_FALSE(store->value(QStringLiteral("mp3.file\\shell\\open\\command"), QString())->expandable);
    EXPECT_EQ(stored(QStringLiteral("mp3.file\\shell\\printto\\command")), QStringLiteral("pt %1"));
    EXPECT_FALSE(store->keyExists(QStringLiteral("mp3.file\\shell\\opennew")));
    EXPECT_FALSE(store->keyExists(QStringLiteral("mp3.file\\shell\\print")));

    // Without an icon file the system library's first icon, expandable,
    // which yields no icon here.
    ASSERT_TRUE(asso.CreateExtension(QStringLiteral(".Doc"), QStringLiteral("Document"), none, none, none,
        none, none, none, none, none, none, none, none, 5, false));
    EXPECT_EQ(stored(QStringLiteral(".Doc")), QStringLiteral("Doc.file")); // ".Doc" keeps its case
    EXPECT_EQ(stored(QStringLiteral("doc.file\\DefaultIcon")),
        QStringLiteral("%SystemRoot%\\system32\\SHELL32.dll,0"));
    EXPECT_TRUE(store->value(QStringLiteral("doc.file\\DefaultIcon"), QString())->expandable);
    asso.SetExtension(QStringLiteral("doc"));
    EXPECT_TRUE(asso.GetIcon().isNull());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FileAssoFixture, CreateExtensionRefusals)
{
    const QString none;
    const auto create = [&](const QString &ext, const QString &desc, bool overwrite) {
        return asso.CreateExtension(ext, desc, none, none, QStringLiteral("new %1"), none, none, none, none,
            none, none, none, file("note.png"), 0, overwrite);
    };
    asso.SetReadOnly(false);
    EXPECT_FALSE(create(QStringLiteral(" "), QStringLiteral("Son"), true));
    EXPECT_FALSE(create(QStringLiteral("mp3"), QString(), true));
    EXPECT_EQ(shownTexts(), (QStringList { kEmptyFields, kEmptyFields }));

    associate(QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"),
        file("multi.ico") + QStringLiteral(",1"));
    EXPECT_FALSE(create(QStringLiteral("mp3"), QStringLiteral("Nouveau"), false));
    EXPECT_EQ(shownTexts(), QStringList { kKeyExists });
    EXPECT_EQ(stored(QStringLiteral("mp3.file")), QStringLiteral("Son MP3"));

    // Overwriting writes over the keys without emptying them first.
    EXPECT_TRUE(create(QStringLiteral("mp3"), QStringLiteral("Nouveau"), true));
    EXPECT_EQ(stored(QStringLiteral("mp3.file")), QStringLiteral("Nouveau"));
    EXPECT_EQ(stored(QStringLiteral("mp3.file\\shell\\open\\command")), QStringLiteral("new %1"));

    // A read-only lookup creates nothing.
    asso.SetReadOnly(true);
    EXPECT_FALSE(create(QStringLiteral("ogg"), QStringLiteral("Son OGG"), false));
    EXPECT_EQ(shownTexts(), QStringList { kReadOnly });
    EXPECT_FALSE(store->keyExists(QStringLiteral(".ogg")));
}

TEST_F(FileAssoFixture, DeleteExtensionAsksAndDeletes)
{
    asso.SetReadOnly(false);
    const QString withType
        = QString::fromUtf8("Etes-vous sûr(e) de vouloir effacer la clé \".mp3\" et sa clé correspondante ?");
    const QString alone = QString::fromUtf8("Etes-vous sûr(e) de vouloir effacer la clé \".mp3\" ?");

    associate(
        QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"), file("note.png"));
    dialogs.answers.enqueue(false);
    EXPECT_FALSE(asso.DeleteExtension(QStringLiteral("MP3"), true, true));
    EXPECT_EQ(dialogs.questions, QStringList { withType });
    EXPECT_TRUE(store->keyExists(QStringLiteral(".mp3")));

    dialogs.questions.clear();
    dialogs.answers.enqueue(true);
    EXPECT_TRUE(asso.DeleteExtension(QStringLiteral(".mp3"), true, true));
    EXPECT_EQ(dialogs.questions, QStringList { withType });
    EXPECT_FALSE(store->keyExists(QStringLiteral(".mp3")));
    EXPECT_FALSE(store->keyExists(QStringLiteral("mp3.file")));
    EXPECT_FALSE(store->keyExists(QStringLiteral("mp3.file\\DefaultIcon")));

    // Without the type, and without asking.
    associate(
        QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"), file("note.png"));
    dialogs.questions.clear();
    dialogs.answers.enqueue(true);
    EXPECT_TRUE(asso.DeleteExtension(QStringLiteral(".mp3"), false, true));
    EXPECT_EQ(dialogs.questions, QStringList { alone });
    EXPECT_TRUE(store->keyExists(QStringLiteral("mp3.file")));
    associate(
        QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"), file("note.png"));
    dialogs.questions.clear();
    EXPECT_TRUE(asso.DeleteExtension(QStringLiteral(".mp3"), false, false));
    EXPECT_TRUE(dialogs.questions.isEmpty());

    // Nothing to delete.
    EXPECT_FALSE(asso.DeleteExtension(QStringLiteral(".mp3"), true, false));
    EXPECT_FALSE(asso.DeleteExtension(QString(), true, false));
    EXPECT_FALSE(asso.DeleteExtension(QStringLiteral("  "), true, false));
    EXPECT_TRUE(store->keyExists(QStringLiteral("mp3.file"))); // a blank extension never reaches the root

    // Read-only: refused, nothing deleted.
    associate(
        QStringLiteral(".mp3"), QStringLiteral("mp3.file"), QStringLiteral("Son MP3"), file("note.png"));
    asso.SetReadOnly(true);
    EXPECT_FALSE(asso.DeleteExtension(QStringLiteral(".mp3"), true, false));
    EXPECT_EQ(shownTexts(), QStringList { kReadOnly });
    EXPECT_TRUE(store->keyExists(QStringLiteral(".mp3")));
}
