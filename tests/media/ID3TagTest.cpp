#include "media/ID3Tag.h"
#include "base/ErrorReport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A 128-byte ID3v1 block with each field padded by `pad`.
QByteArray tagBlock(
    const QByteArray &title, const QByteArray &artist, char pad = '\0', const QByteArray &header = "TAG")
{
    const auto field = [pad](const QByteArray &text, int size) {
        QByteArray f = text.left(size);
        f.append(QByteArray(size - f.size(), pad));
        return f;
    };
    QByteArray block = header;
    block += field(title, 30);
    block += field(artist, 30);
    block += field("Album", 30);
    block += field("1999", 4);
    block += field("Comment", 30);
    block += char(17);
    return block;
}

// Audio frames of sorts: what precedes the tag does not matter to the reader.
QByteArray someFrames(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(0xFF - (i % 7));
    return bytes;
}

class ID3TagTest : public testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(ID3TagTest, FieldsComeFromTheLast128Bytes)
{
    const QString path = write("song.mp3", someFrames(4000) + tagBlock("Song", "Band"));
    TID3Tag tag;
    ReadID3Tag(path, tag);
    EXPECT_TRUE(tag.isTag());
    EXPECT_EQ(tag.Header, QByteArray("TAG"));
    EXPECT_EQ(tag.Title.size(), 30);
    EXPECT_EQ(tag.Artist.size(), 30);
    EXPECT_EQ(tag.Album.size(), 30);
    EXPECT_EQ(tag.Year, QByteArray("1999"));
    EXPECT_EQ(tag.Comment.size(), 30);
    EXPECT_EQ(tag.Genre, 17);
    EXPECT_EQ(TID3Tag::shown(tag.Title), QStringLiteral("Song"));
    EXPECT_EQ(TID3Tag::shown(tag.Artist), QStringLiteral("Band"));
    EXPECT_EQ(TID3Tag::shown(tag.Album), QStringLiteral("Album"));
}

TEST_F(ID3TagTest, ShownTextEndsAtTheFirstZeroAndKeepsBlanks)
{
    struct Case
    {
        const char *name;
        QByteArray title;
        char pad;
        QString shown;
    } cases[] = {
        { "zeros", "Riff", '\0', QStringLiteral("Riff") },
        { "blanks", "Riff", ' ', QStringLiteral("Riff") + QString(26, u' ') },
        { "full width", QByteArray(30, 'x'), '\0', QString(30, u'x') },
        { "zero inside", QByteArray("Ab\0cd", 5), ' ', QStringLiteral("Ab") },
        { "windows-1252", "Caf\xe9 \x80", '\0', QStringLiteral("Café €") },
        { "empty", "", '\0', QString() },
    };
    for (const Case &c : cases) {
        const QString path = write(QStringLiteral("t.mp3"), someFrames(300) + tagBlock(c.title, "A", c.pad));
        TID3Tag tag;
        ReadID3Tag(path, tag);
        EXPECT_EQ(TID3Tag::shown(tag.Title), c.shown) << c.name;
    }
}

TEST_F(ID3TagTest, FilesWithoutATagAreReadButNotTags)
{
    // An MP3 without its block, a video (RIFF AVI header and frames), a
    // header spelled in lower case, and a file of exactly 128 bytes.
    QByteArray avi = "RIFF\x10\x27\x00\x00"
                     "AVI LIST";
    avi += someFrames(2000);
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        { "plain.mp3", someFrames(4000) },
        { "clip.avi", avi },
        { "lower.mp3", someFrames(400) + tagBlock("Song", "Band", '\0', "tag") },
        { "tag-like.mp3", someFrames(400) + tagBlock("Song", "Band", '\0', "TAF") },
    };
    for (const auto &c : cases) {
        TID3Tag tag;
        ReadID3Tag(write(QLatin1String(c.name), c.bytes), tag);
        EXPECT_FALSE(tag.isTag()) << c.name;
        EXPECT_EQ(tag.Header.size(), 3) << c.name;
    }
    TID3Tag exact;
    ReadID3Tag(write("exact.mp3", tagBlock("Only", "Tag")), exact);
    EXPECT_TRUE(exact.isTag());
    EXPECT_EQ(TID3Tag::shown(exact.Title), QStringLiteral("Only"));
}

TEST_F(ID3TagTest, ShortOrUnreadableFilesAreInputOutputErrorsAndKeepTheRecord)
{
    TID3Tag tag;
    ReadID3Tag(write("good.mp3", someFrames(500) + tagBlock("Kept", "Artist")), tag);

    const QString shortFile = write("short.mp3", QByteArray("TAG") + someFrames(124)); // 127 bytes
    const QString empty = write("empty.mp3", QByteArray());
    for (const QString &path : { shortFile, empty, dir.filePath("missing.mp3") }) {
        EXPECT_THROW(ReadID3Tag(path, tag), VoxlaneError) << path.toStdString();
        EXPECT_EQ(TID3Tag::shown(tag.Title), QStringLiteral("Kept"));
    }
    try {
        ReadID3Tag(shortFile, tag);
    } catch (const VoxlaneError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("short.mp3")));
    }
}

} // namespace

// Bytes already in memory read as the same file would, with the same
// refusals and the record kept on refusal.
TEST_F(ID3TagTest, ADeviceReadsAsTheFileWould)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool read;
    } cases[] = {
        { "tagged", someFrames(700) + tagBlock("Song", "Band"), true },
        { "exactly a block", tagBlock("Only", "Tag"), true },
        { "one byte short", tagBlock("Only", "Tag").left(127), false },
        { "empty", QByteArray(), false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TID3Tag fromFile, fromDevice;
        fromFile.Title = fromDevice.Title = "before";
        QByteArray bytes = c.bytes;
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        const QString path = write(QStringLiteral("same.mp3"), c.bytes);
        if (c.read) {
            ReadID3Tag(path, fromFile);
            ReadID3Tag(buffer, QStringLiteral("same.mp3"), fromDevice);
            EXPECT_EQ(fromDevice.Title, fromFile.Title);
            EXPECT_EQ(fromDevice.Artist, fromFile.Artist);
            EXPECT_EQ(fromDevice.Genre, fromFile.Genre);
            EXPECT_TRUE(fromDevice.isTag());
        } else {
            EXPECT_THROW(ReadID3Tag(buffer, QStringLiteral("same.mp3"), fromDevice), VoxlaneError);
            EXPECT_EQ(fromDevice.Title, QByteArray("before"));
        }
    }
}
