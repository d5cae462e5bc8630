#include "transfer/DataReceiver.h"
#include "base/Cp1252.h"
#include "transfer/DataPacket.h"
#include "transfer/TempFileClaims.h"

#include "PacketBytes.h"

#include "support/QtPrinters.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Bytes arriving on a connection: appended at the end, read from the front.
class Incoming
{
public:
    Incoming() { m_buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    QIODevice &add(const QByteArray &bytes)
    {
        m_buffer.buffer().append(bytes);
        return m_buffer;
    }
    qint64 waiting() const { return m_buffer.bytesAvailable(); }

private:
    QBuffer m_buffer;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class DataReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        temp = dir.filePath(QStringLiteral("temp"));
        ASSERT_TRUE(QDir().mkpath(temp));
        receiver.setTempDir(temp);
        receiver.setExpectedName(QStringLiteral("f.bin"));
    }
    QByteArray feed(const QByteArray &bytes) { return receiver.receive(in.add(bytes)); }

    QTemporaryDir dir;
    QString temp;
    Incoming in;
    DataReceiver receiver;
};

TEST_F(DataReceiverTest, RepliesToHostilePackets)
{
    const QByteArray header = DataPacket::header("f.bin", "10");
    const struct
    {
        const char *what;
        QByteArray bytes;
        QByteArray replies;
        qint64 left;
    } cases[] = {
        { "unknown kind", QByteArray::fromHex("07000000"), statuses({ 0 }), 0 },
        { "unknown kind, too much", QByteArray::fromHex("07000000") + QByteArray(600, 'z'), statuses({ 1 }),
            0 },
        { "block before any header", DataPacket::block(0, "abc"), statuses({ 3 }), 0 },
        { "count above 504", blockWithCount(0, 100000, 600), statuses({ 1 }), 0 },
        { "count below 0", blockWithCount(0, -1, 20), statuses({ 2 }), 0 },
        { "incomplete block waits", blockWithCount(0, 100, 50), {}, 62 },
        { "header in two packets' worth", header + header, statuses({ 0, 0 }), 0 },
        { "three packets in one write", header + DataPacket::block(0, "12345") + DataPacket::block(5, "6789"),
            statuses({ 0, 0, 0 }), 0 },
        { "header then block beyond the end", header + DataPacket::block(1, "x"), statuses({ 0, 4 }), 0 },
        { "header then negative offset", header + DataPacket::block(-1, "x"), statuses({ 0, 4 }), 0 },
        { "header then half a header", header + header.left(300), statuses({ 0 }), 300 },
        { "header naming another file", DataPacket::header("g.bin", "10"), statuses({ 5 }), 0 },
        { "block running past the announced size", header + DataPacket::block(0, "01234567890"),
            statuses({ 0, 6 }), 0 },
    };
    for (const auto &c : cases) {
        DataReceiver r;
        r.setTempDir(temp);
        r.setExpectedName(QStringLiteral("f.bin"));
        Incoming incoming;
        EXPECT_EQ(r.receive(incoming.add(c.bytes)), c.replies) << c.what;
        EXPECT_EQ(incoming.waiting(), c.left) << c.what;
        r.disconnect();
        QFile::remove(QDir(temp).filePath(QStringLiteral("f.bin")));
    }
}

TEST_F(DataReceiverTest, HeadersRefusedForTheirNameOrSize)
{
    const struct
    {
        QByteArray name;
        QByteArray size;
        qint32 status;
    } cases[] = {
        { "ok.txt", "2147483647", 0 },
        { "ok.txt", "0007", 0 },
        { "ok.txt", "2147483648", 2 },
        { "ok.txt", "-1", 2 },
        { "ok.txt", "", 2 },
        { "ok.txt", "12a", 2 },
        { "ok.txt", " 1", 2 },
        { "", "1", 5 },
        { ".", "1", 5 },
        { "..", "1", 5 },
        { "../x", "1", 5 },
        { "a/b", "1", 5 },
        { "..\\x", "1", 5 },
        { QByteArray("a\0b", 3), "1", 5 },
        { "a\x1f", "1", 5 },
        { "a\x7f", "1", 5 },
        { "a\x81", "1", 5 },
        { "\xe9t\xe9 \x80.txt", "1", 0 },
    };
    for (const auto &c : cases) {
        DataReceiver r;
        r.setTempDir(temp);
        r.setExpectedName(Cp1252::decode(c.name));
        Incoming incoming;
        EXPECT_EQ(r.receive(incoming.add(DataPacket::header(c.name, c.size))), DataPacket::status(c.status))
            << c.name.toHex().constData() << " / " << c.size.constData();
        EXPECT_EQ(r.isFileOpen(), c.status == 0);
        r.disconnect();
        QDir(temp).removeRecursively();
        QDir().mkpath(temp);
    }
    // Nothing was ever written beside the temp folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { "temp" });
}

TEST_F(DataReceiverTest, ReceivesAFileAndCompletesWhenItHoldsEveryByte)
{
    QByteArray data(300, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    EXPECT_EQ(feed(DataPacket::header("f.bin", "300")), statuses({ 0 }));
    EXPECT_EQ(feed(DataPacket::block(0, data.left(256))), statuses({ 0 }));
    // The same block again overwrites and is not counted twice.
    EXPECT_EQ(feed(DataPacket::block(0, data.left(256))), statuses({ 0 }));
    EXPECT_EQ(receiver.held(), 256);
    EXPECT_FALSE(receiver.isComplete());
    EXPECT_EQ(feed(DataPacket::block(256, data.mid(256))), statuses({ 0 }));
    EXPECT_TRUE(receiver.isComplete());
    EXPECT_EQ(readAll(receiver.filePath()), data);
    EXPECT_TRUE(receiver.disconnect());
    EXPECT_FALSE(receiver.disconnect());
}

TEST_F(DataReceiverTest, OnlyTheTransfersOwnFileName)
{
    // The name is compared as a sender puts it on the wire: Windows-1252,
    // cut to 255 bytes.
    const QString longName = QString(300, u'n');
    const struct
    {
        QString expected;
        QByteArray sent;
        qint32 status;
    } cases[] = {
        { QStringLiteral("f.bin"), "f.bin", 0 },
        { QStringLiteral("f.bin"), "F.bin", 5 },
        { QStringLiteral("f.bin"), "f.bin ", 5 },
        { QStringLiteral("f.bin"), "other.bin", 5 },
        { QString(), "f.bin", 5 },
        { longName, QByteArray(255, 'n'), 0 },
        { longName, QByteArray(254, 'n'), 5 },
        { QStringLiteral("\u00e9t\u00e9.txt"), "\xe9t\xe9.txt", 0 },
    };
    for (const auto &c : cases) {
        DataReceiver r;
        r.setTempDir(temp);
        r.setExpectedName(c.expected);
        Incoming incoming;
        EXPECT_EQ(r.receive(incoming.add(DataPacket::header(c.sent, "1"))), DataPacket::status(c.status))
            << c.sent.constData();
        r.disconnect();
    }
    // Only the accepted headers made a file.
    EXPECT_EQ(QDir(temp).entryList(QDir::Files).size(), 3);
}

TEST_F(DataReceiverTest, CompletedTransferRefusesEveryLaterHeader)
{
    EXPECT_EQ(feed(DataPacket::header("f.bin", "3") + DataPacket::block(0, "abc")), statuses({ 0, 0 }));
    ASSERT_TRUE(receiver.isComplete());
    // On the same connection, and on a new one after the sender left.
    EXPECT_EQ(feed(DataPacket::header("f.bin", "3")), statuses({ 5 }));
    EXPECT_EQ(feed(DataPacket::block(0, "xyz")), statuses({ 6 }));
    EXPECT_TRUE(receiver.disconnect());
    ASSERT_TRUE(QFile::remove(QDir(temp).filePath(QStringLiteral("f.bin")))); // moved away
    EXPECT_EQ(feed(DataPacket::header("f.bin", "3")), statuses({ 5 }));
    EXPECT_EQ(feed(DataPacket::block(0, "xyz")), statuses({ 3 }));
    EXPECT_TRUE(receiver.isComplete());
    EXPECT_FALSE(QFile::exists(QDir(temp).filePath(QStringLiteral("f.bin"))));
}

TEST_F(DataReceiverTest, RefusalsInARowAreCountedPerConnection)
{
    EXPECT_EQ(feed(DataPacket::header("f.bin", "1000")), statuses({ 0 }));
    for (int i = 0; i < DataReceiver::MaxRefusals - 1; ++i)
        feed(DataPacket::block(600, "x"));
    EXPECT_FALSE(receiver.shouldGiveUp());
    // An accepted packet starts the count again.
    EXPECT_EQ(feed(DataPacket::block(0, "x")), statuses({ 0 }));
    EXPECT_EQ(receiver.refusalsInARow(), 0);
    for (int i = 0; i < DataReceiver::MaxRefusals; ++i)
        EXPECT_EQ(feed(DataPacket::block(600, "x")), statuses({ 4 }));
    EXPECT_TRUE(receiver.shouldGiveUp());
    receiver.disconnect();
    EXPECT_EQ(receiver.refusalsInARow(), 0);
}

TEST_F(DataReceiverTest, EmptyFileCompletesOnAnEmptyBlock)
{
    receiver.setExpectedName(QStringLiteral("empty"));
    EXPECT_EQ(feed(DataPacket::header("empty", "0")), statuses({ 0 }));
    EXPECT_FALSE(receiver.isComplete());
    EXPECT_EQ(feed(DataPacket::block(0, "")), statuses({ 0 }));
    EXPECT_TRUE(receiver.isComplete());
    EXPECT_EQ(readAll(receiver.filePath()), QByteArray());
}

TEST_F(DataReceiverTest, PacketsArrivingInPieces)
{
    const QByteArray header = DataPacket::header("f.bin", "4");
    EXPECT_EQ(feed(header.left(3)), QByteArray());
    EXPECT_EQ(feed(header.mid(3, 200)), QByteArray());
    EXPECT_EQ(feed(header.mid(203) + DataPacket::block(0, "ab").left(7)), statuses({ 0 }));
    EXPECT_EQ(feed(DataPacket::block(0, "ab").mid(7) + DataPacket::block(2, "cd")), statuses({ 0, 0 }));
    EXPECT_TRUE(receiver.isComplete());
    EXPECT_EQ(readAll(receiver.filePath()), QByteArray("abcd"));
}

TEST_F(DataReceiverTest, ExpiredBytesAreAnsweredAsTooShortAndDropped)
{
    feed(DataPacket::header("f.bin", "9").left(100));
    EXPECT_EQ(in.waiting(), 100);
    EXPECT_EQ(receiver.expire(in.add({})), statuses({ 2 }));
    EXPECT_EQ(in.waiting(), 0);
    EXPECT_FALSE(receiver.isFileOpen());
    // The connection goes on with the next whole packet.
    EXPECT_EQ(feed(DataPacket::header("f.bin", "9")), statuses({ 0 }));
}

TEST_F(DataReceiverTest, PartialFileIsTakenAsItIs)
{
    // Whatever an earlier attempt wrote arrived from the sender: it is kept
    // and counted, and never cut back.
    const QString path = QDir(temp).filePath(QStringLiteral("part.bin"));
    const struct
    {
        qint64 onDisk;
        qint32 status;
        qint64 held;
    } cases[] = {
        { 0, 0, 0 }, { 2000, 0, 2000 }, { 4096, 0, 4096 }, // every byte: completes on the next block
        { 4097, 5, 0 }, // longer than the file announced: not a part of it
    };
    for (const auto &c : cases) {
        const QByteArray before(c.onDisk, 'p');
        writeFile(path, before);
        DataReceiver r;
        r.setTempDir(temp);
        r.setExpectedName(QStringLiteral("part.bin"));
        Incoming incoming;
        EXPECT_EQ(
            r.receive(incoming.add(DataPacket::header("part.bin", "4096"))), DataPacket::status(c.status))
            << c.onDisk;
        EXPECT_EQ(readAll(path), before) << c.onDisk;
        if (c.status == 0) {
            EXPECT_EQ(r.held(), c.held) << c.onDisk;
            EXPECT_FALSE(r.isComplete());
        }
    }
}

TEST_F(DataReceiverTest, ResumedFileAcceptsBlocksUpToItsEndOnly)
{
    const QString path = QDir(temp).filePath(QStringLiteral("r.bin"));
    writeFile(path, QByteArray(1000, 'a'));
    receiver.setExpectedName(QStringLiteral("r.bin"));
    EXPECT_EQ(feed(DataPacket::header("r.bin", "1500")), statuses({ 0 }));
    EXPECT_EQ(receiver.held(), 1000);
    EXPECT_EQ(feed(DataPacket::block(1001, "x")), statuses({ 4 }));
    EXPECT_EQ(feed(DataPacket::block(999, "bc")), statuses({ 0 }));
    EXPECT_EQ(receiver.held(), 1001);
    EXPECT_EQ(readAll(path).right(3), QByteArray("abc"));
}

TEST_F(DataReceiverTest, TwoReceiversNeverShareATempFile)
{
    DataReceiver other;
    other.setTempDir(temp);
    other.setExpectedName(QStringLiteral("f.bin"));
    Incoming otherIn;
    EXPECT_EQ(feed(DataPacket::header("f.bin", "10")), statuses({ 0 }));
    EXPECT_EQ(other.receive(otherIn.add(DataPacket::header("f.bin", "10"))), statuses({ 5 }));
    receiver.disconnect();
    EXPECT_FALSE(TempFileClaims::isClaimed(QDir(temp).filePath(QStringLiteral("f.bin"))));
    EXPECT_EQ(other.receive(otherIn.add(DataPacket::header("f.bin", "10"))), statuses({ 0 }));
    EXPECT_TRUE(TempFileClaims::isClaimed(QDir(temp).filePath(QStringLiteral("f.bin"))));
}

TEST_F(DataReceiverTest, FinishedFileMovesOnlyToAFreeDestination)
{
    const QString done = QDir(temp).filePath(QStringLiteral("done.txt"));
    writeFile(done, "content");
    const QString taken = dir.filePath(QStringLiteral("taken.txt"));
    writeFile(taken, "old");
    EXPECT_FALSE(DataReceiver::moveFinished(done, temp, taken));
    EXPECT_EQ(readAll(taken), QByteArray("old"));
    EXPECT_FALSE(DataReceiver::moveFinished(done, temp, QString()));
    // A source that is not a plain name of the temp folder is not moved.
    const QString outside = dir.filePath(QStringLiteral("outside.txt"));
    writeFile(outside, "x");
    EXPECT_FALSE(DataReceiver::moveFinished(outside, temp, dir.filePath(QStringLiteral("y.txt"))));
    EXPECT_TRUE(QFile::exists(outside));

    const QString dest = dir.filePath(QStringLiteral("final.txt"));
    EXPECT_TRUE(DataReceiver::moveFinished(done, temp, dest));
    EXPECT_EQ(readAll(dest), QByteArray("content"));
    EXPECT_FALSE(QFile::exists(done));
}

} // namespace

namespace {

// Bytes still in the system's queue count as waiting: a packet that cannot
// be delimited takes them with it as they arrive, and the connection then
// goes on with the next packet.
TEST_F(DataReceiverTest, UndelimitedPacketsDropWhatWaitsBeyondTheBuffer)
{
    const QByteArray oversized = blockWithCount(0, 100000, 600);
    // The socket took in 517 bytes; 95 more wait in the system.
    receiver.setExpectedName(QStringLiteral("n.bin"));
    EXPECT_EQ(receiver.receive(in.add(oversized.left(517)), 95), statuses({ 1 }));
    EXPECT_EQ(feed(oversized.mid(517, 50)), QByteArray());
    EXPECT_EQ(feed(oversized.mid(567) + DataPacket::header("n.bin", "3")), statuses({ 0 }));
    // An unknown kind: 4 + 513 in the buffer is within a packet, the 10
    // waiting beyond make it more.
    EXPECT_EQ(receiver.receive(in.add(QByteArray::fromHex("07000000") + QByteArray(513, 'u')), 10),
        statuses({ 1 }));
    EXPECT_EQ(feed(QByteArray(10, 'u') + DataPacket::block(0, "abc")), statuses({ 0 }));
    EXPECT_TRUE(receiver.isComplete());
}

} // namespace
