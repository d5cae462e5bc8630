#include "components/FileClassStore.h"
#include "components/TFileClassRegistry.h"
#include "components/UserFileClassStore.h"

#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct StoreFixture : testing::Test
{
    QString storeFile(const QString &name = QStringLiteral("classes.json")) const
    {
        return dir.filePath(name);
    }
    QTemporaryDir dir;
};

QString readDefault(FileClassStore &store, const QString &key)
{
    TFileClassRegistry reg(store);
    return reg.OpenKey(key, false) ? reg.ReadString(QString()) : QStringLiteral("<no key>");
}

} // namespace

TEST(FileClassStore, KeyPathsAreNormalised)
{
    EXPECT_EQ(FileClassStore::normalizedKey(QStringLiteral("\\mp3.file\\DefaultIcon\\")),
        QStringLiteral("mp3.file\\DefaultIcon"));
    EXPECT_EQ(FileClassStore::normalizedKey(QStringLiteral("a\\\\b")), QStringLiteral("a\\b"));
    EXPECT_EQ(FileClassStore::normalizedKey(QStringLiteral("\\")), QString());
    EXPECT_EQ(FileClassStore::foldedKey(QStringLiteral("MP3.File\\")), QStringLiteral("mp3.file"));
}

TEST_F(StoreFixture, RegistryOpensReadsWritesAndDeletes)
{
    UserFileClassStore store(storeFile());
    TFileClassRegistry reg(store);

    EXPECT_FALSE(reg.OpenKey(QStringLiteral(".mp3"), false));
    EXPECT_FALSE(reg.KeyExists(QStringLiteral(".mp3")));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral(".mp3"), true));
    EXPECT_FALSE(reg.ValueExists(QString()));
    EXPECT_EQ(reg.ReadString(QString()), QString()); // absent value: empty
    EXPECT_TRUE(reg.WriteString(QString(), QStringLiteral("mp3.file")));
    EXPECT_TRUE(reg.ValueExists(QString()));
    reg.CloseKey();

    // Parents come into being with their children; letter case does not
    // matter; a leading '\' or a trailing one changes nothing.
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\mp3.file\\DefaultIcon\\"), true));
    EXPECT_TRUE(reg.WriteExpandString(QString(), QStringLiteral("%SystemRoot%\\x.dll,0")));
    reg.CloseKey();
    EXPECT_TRUE(reg.KeyExists(QStringLiteral("MP3.FILE")));
    EXPECT_EQ(readDefault(store, QStringLiteral(".MP3")), QStringLiteral("mp3.file"));
    EXPECT_EQ(store.value(QStringLiteral("Mp3.File\\defaulticon"), QString())->expandable, true);
    EXPECT_EQ(store.value(QStringLiteral(".mp3"), QString())->expandable, false);

    // Relative to the open key.
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("mp3.file"), false));
    EXPECT_TRUE(reg.KeyExists(QStringLiteral("DefaultIcon")));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("DefaultIcon"), false));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("mp3.file\\DefaultIcon"));
    reg.CloseKey();

    // Deleting takes what is below.
    EXPECT_TRUE(reg.DeleteKey(QStringLiteral("mp3.file")));
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("mp3.file\\DefaultIcon")));
    EXPECT_FALSE(reg.DeleteKey(QStringLiteral("mp3.file")));
    EXPECT_TRUE(reg.KeyExists(QStringLiteral(".mp3")));
}

TEST_F(StoreFixture, TheRootHoldsNothing)
{
    UserFileClassStore store(storeFile());
    TFileClassRegistry reg(store);
    EXPECT_FALSE(reg.OpenKey(QString(), true));
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\"), true));
    EXPECT_FALSE(reg.WriteString(QString(), QStringLiteral("x"))); // no key open
    EXPECT_FALSE(reg.KeyExists(QString()));
    EXPECT_FALSE(reg.DeleteKey(QString()));
    EXPECT_FALSE(QFile::exists(storeFile())); // nothing was written
}

TEST_F(StoreFixture, StoreSurvivesARestartInWindows1252)
{
    {
        UserFileClassStore store(storeFile());
        ASSERT_TRUE(store.setValue(QStringLiteral(".txt"), QString(), { QStringLiteral("txtfile"), false }));
        ASSERT_TRUE(store.setValue(
            QStringLiteral("txtfile"), QString(), { QStringLiteral("Document \u00E9crit \u03A3"), false }));
        ASSERT_TRUE(store.setValue(QStringLiteral("txtfile\\DefaultIcon"), QStringLiteral("Named"),
            { QStringLiteral("%x%,1"), true }));
    }
    UserFileClassStore again(storeFile());
    EXPECT_EQ(readDefault(again, QStringLiteral(".txt")), QStringLiteral("txtfile"));
    // What Windows-1252 cannot carry comes back as '?', as from any store of ours.
    EXPECT_EQ(readDefault(again, QStringLiteral("TXTFILE")), QStringLiteral("Document \u00E9crit ?"));
    const auto named = again.value(QStringLiteral("txtfile\\defaulticon"), QStringLiteral("named"));
    ASSERT_TRUE(named.has_value());
    EXPECT_EQ(named->data, QStringLiteral("%x%,1"));
    EXPECT_TRUE(named->expandable);
}

TEST_F(StoreFixture, CorruptStoreFileReadsAsEmpty)
{
    QFile file(storeFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    UserFileClassStore store(storeFile());
    EXPECT_FALSE(store.keyExists(QStringLiteral(".txt")));
    EXPECT_TRUE(store.setValue(QStringLiteral(".txt"), QString(), { QStringLiteral("txtfile"), false }));
    EXPECT_EQ(UserFileClassStore(storeFile()).value(QStringLiteral(".txt"), QString())->data,
        QStringLiteral("txtfile"));
}

TEST_F(StoreFixture, UserStoreOverlaysItsBase)
{
    // The base stands for the desktop's view; here a store the test fills.
    auto base = std::make_shared<UserFileClassStore>(storeFile(QStringLiteral("base.json")));
    base->setValue(QStringLiteral(".mp3"), QString(), { QStringLiteral("audio/mpeg"), false });
    base->setValue(QStringLiteral("audio/mpeg"), QString(), { QStringLiteral("MP3 audio"), false });
    base->setValue(
        QStringLiteral("audio/mpeg\\DefaultIcon"), QString(), { QStringLiteral("/i/audio.png,0"), false });

    UserFileClassStore user(storeFile(), base);
    EXPECT_EQ(readDefault(user, QStringLiteral("audio/mpeg")), QStringLiteral("MP3 audio"));

    // A value written by the user wins; the base is never written.
    ASSERT_TRUE(user.setValue(QStringLiteral("audio/mpeg"), QString(), { QStringLiteral("Musique"), false }));
    EXPECT_EQ(readDefault(user, QStringLiteral("audio/mpeg")), QStringLiteral("Musique"));
    EXPECT_EQ(readDefault(*base, QStringLiteral("audio/mpeg")), QStringLiteral("MP3 audio"));
    EXPECT_EQ(readDefault(user, QStringLiteral("audio/mpeg\\DefaultIcon")), QStringLiteral("/i/audio.png,0"));

    // Deleting a key of the base hides it and its children for good...
    EXPECT_TRUE(user.deleteKey(QStringLiteral("Audio/MPEG")));
    EXPECT_FALSE(user.keyExists(QStringLiteral("audio/mpeg")));
    EXPECT_FALSE(user.keyExists(QStringLiteral("audio/mpeg\\DefaultIcon")));
    EXPECT_TRUE(base->keyExists(QStringLiteral("audio/mpeg")));
    EXPECT_TRUE(UserFileClassStore(storeFile(), base).keyExists(QStringLiteral(".mp3")));
    EXPECT_FALSE(UserFileClassStore(storeFile(), base).keyExists(QStringLiteral("audio/mpeg\\DefaultIcon")));

    // ...and a key made again starts empty, without the base's values.
    ASSERT_TRUE(user.createKey(QStringLiteral("audio/mpeg")));
    EXPECT_TRUE(user.keyExists(QStringLiteral("audio/mpeg")));
    EXPECT_EQ(readDefault(user, QStringLiteral("audio/mpeg")), QString());
    EXPECT_FALSE(user.keyExists(QStringLiteral("audio/mpeg\\DefaultIcon")));
}
