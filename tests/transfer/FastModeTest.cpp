#include "transfer/DataPacket.h"
#include "transfer/DataReceiver.h"
#include "transfer/DataSender.h"

#include "StateMachineExchange.h"
#include "support/QtPrinters.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Fast mode through the two state machines, without a network.

namespace {

using Action = DataSender::Action;

constexpr qint64 k2GiB = qint64(1) << 31;

// Bytes arriving on a connection: appended at the end, read from the front.
class Wire
{
public:
    Wire() { m_buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    QIODevice &add(const QByteArray &bytes)
    {
        m_buffer.buffer().append(bytes);
        return m_buffer;
    }
    QIODevice &device() { return m_buffer; }

private:
    QBuffer m_buffer;
};

class FastModeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        temp = dir.filePath(QStringLiteral("temp"));
        ASSERT_TRUE(QDir().mkpath(temp));
        receiver.setTempDir(temp);
        receiver.setExpectedName(QStringLiteral("f.bin"));
    }

    QString makeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // A file of `size` bytes that takes no room: zeros.
    static void makeSparse(const QString &path, qint64 size)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size));
    }
    static QByteArray randomBytes(qsizetype n)
    {
        QByteArray b(n, Qt::Uninitialized);
        for (char &c : b)
            c = char(QRandomGenerator::global()->generate());
        return b;
    }
    static QByteArray fastHeader(const QByteArray &name, qint64 size)
    {
        QByteArray h = DataPacket::header(name, QByteArray::number(size));
        DataPacket::Capability c;
        c.fileSize = size;
        DataPacket::addCapability(h, c);
        return h;
    }
    QByteArray feed(const QByteArray &bytes) { return receiver.receive(in.add(bytes)); }

    // Runs sender and receiver against each other until the sender stops.
    Action run(DataSender &s) { return run(s, receiver, in); }
    static Action run(DataSender &s, DataReceiver &r, Wire &wire)
    {
        Wire back;
        return exchange(
            s, r, [&wire](const QByteArray &b) -> QIODevice & { return wire.add(b); }, back.device(),
            [&back](const QByteArray &b) { back.add(b); });
    }

    QTemporaryDir dir;
    QString temp;
    DataReceiver receiver;
    Wire in;
};

// Memory does not grow with the file: what is in flight stays within the
// window and the receiver never takes more than one fast block at once.
// The clock stands still, so no round trip is measured and the window
// stays at its floor (FlightWindowTest follows it on a moving path).
TEST_F(FastModeTest, WholeFilesArriveVerifiedWithBoundedBuffers)
{
    for (const qint64 size : { qint64(0), qint64(1), qint64(65536), qint64(1) << 20, qint64(64) << 20 }) {
        SCOPED_TRACE(size);
        QDir(temp).removeRecursively();
        QDir().mkpath(temp);
        DataReceiver r;
        r.setTempDir(temp);
        r.setExpectedName(QStringLiteral("f.bin"));
        const QString path = dir.filePath(QStringLiteral("f.bin"));
        if (size <= (1 << 20))
            makeFile(QStringLiteral("f.bin"), randomBytes(size));
        else
            makeSparse(path, size);
        DataSender s;
        s.setClock([] { return qint64(0); });
        ASSERT_TRUE(s.start(path, 0));
        Wire wire;
        ASSERT_EQ(run(s, r, wire), Action::Complete);
        EXPECT_TRUE(s.isFast());
        EXPECT_TRUE(r.isComplete());
        EXPECT_EQ(r.held(), size);
        EXPECT_LE(s.largestInFlight(), qint64(DataPacket::FastWindow) * DataPacket::FastBlockSize);
        EXPECT_LE(r.largestPacket(), DataPacket::HeaderSize + DataPacket::FastBlockSize);
        QFile a(path), b(r.filePath());
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_EQ(b.size(), size);
        EXPECT_EQ(QCryptographicHash::hash(a.readAll(), QCryptographicHash::Sha256),
            QCryptographicHash::hash(b.readAll(), QCryptographicHash::Sha256));
        QFile::remove(path);
    }
}

// The window really is the limit: with every ack held back the sender stops
// after `window` blocks, and each cumulative ack lets exactly as much more go.
TEST_F(FastModeTest, WindowAndCumulativeAcks)
{
    const qint64 size = qint64(DataPacket::FastWindow + 8) * DataPacket::FastBlockSize;
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    makeSparse(path, size);
    DataSender s;
    ASSERT_TRUE(s.start(path, 0));
    s.takeHeader();
    EXPECT_EQ(s.onStatus(DataPacket::FastAccepted).action, Action::None);
    auto step = s.onFastAck(DataPacket::Accepted, 0);
    ASSERT_EQ(step.action, Action::Send);
    EXPECT_EQ(step.bytes.size(),
        qint64(DataPacket::FastWindow) * (DataPacket::FastBlockHeaderSize + DataPacket::FastBlockSize));
    EXPECT_EQ(s.inFlight(), qint64(DataPacket::FastWindow) * DataPacket::FastBlockSize);
    EXPECT_EQ(s.sent(), 0); // nothing acknowledged yet
    // Three blocks acknowledged at once: three more go.
    step = s.onFastAck(DataPacket::Accepted, 3 * DataPacket::FastBlockSize);
    EXPECT_EQ(step.bytes.size(), 3 * (DataPacket::FastBlockHeaderSize + DataPacket::FastBlockSize));
    EXPECT_EQ(
        DataPacket::readInt64(step.bytes, 4), qint64(DataPacket::FastWindow) * DataPacket::FastBlockSize);
    EXPECT_EQ(s.sent(), 3 * DataPacket::FastBlockSize);
    // An ack going backwards or beyond what was sent makes no sense.
    DataSender t;
    ASSERT_TRUE(t.start(path, 0));
    t.takeHeader();
    t.onStatus(DataPacket::FastAccepted);
    t.onFastAck(DataPacket::Accepted, 0);
    EXPECT_EQ(t.onFastAck(DataPacket::Accepted, size).action, Action::Close);
    EXPECT_EQ(t.failure(), DataSender::Failure::FastRefused);
}

// Where a fast connection starts again: from what the receiver holds, or
// from the sender's own count where that is behind (bytes past it may not
// be ours, so they are written again), after the hash of what comes before.
// Only a finished download, which holds the whole file and takes no block
// (window 0), gets the end packet at once whatever the sender's count.
TEST_F(FastModeTest, WhereAResumedFastConnectionStarts)
{
    constexpr qint64 kSize = 200000;
    const QString path = makeFile(QStringLiteral("f.bin"), randomBytes(kSize));
    struct Case
    {
        const char *what;
        qint64 senderCount;
        qint64 held;
        qint32 window;
        qint64 startsAt; // first block sent (after the hash of what precedes)
        bool endsAtOnce; // the end packet follows the hash, no block
    };
    const Case cases[] = {
        { "nothing held", 5000, 0, DataPacket::FastWindow, 0, false },
        { "receiver behind the sender", 150000, 100000, DataPacket::FastWindow, 100000, false },
        { "sender behind the receiver", 30000, 100000, DataPacket::FastWindow, 30000, false },
        { "whole file held, sender behind", 30000, kSize, DataPacket::FastWindow, 30000, false },
        { "finished download, sender behind", 30000, kSize, 0, kSize, true },
        { "finished download, sender at the end", kSize, kSize, 0, kSize, true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DataSender s;
        ASSERT_TRUE(s.start(path, c.senderCount));
        s.takeHeader();
        ASSERT_EQ(s.onStatus(DataPacket::FastAccepted).action, Action::None);
        DataSender::Step step = s.onFastAck(DataPacket::Accepted, c.held, c.window);
        if (c.startsAt > 0) {
            ASSERT_EQ(step.action, Action::Hash);
            EXPECT_EQ(step.hashUpTo, c.startsAt);
            EXPECT_TRUE(s.isHashing());
            // What comes meanwhile is an empty block where sending resumes.
            EXPECT_EQ(s.keepAlive(), DataPacket::fastBlock(c.startsAt, {}));
            EXPECT_EQ(s.onFastAck(DataPacket::Accepted, c.startsAt, c.window).action, Action::None);
            static const std::atomic_bool notCancelled { false };
            step = s.onPrefixHashed(PrefixHasher::hashFile(path, step.hashUpTo, notCancelled));
        }
        ASSERT_EQ(step.action, Action::Send);
        EXPECT_EQ(DataPacket::readInt(step.bytes, 0),
            c.endsAtOnce ? qint32(DataPacket::FastEndKind) : qint32(DataPacket::FastBlockKind));
        if (!c.endsAtOnce) {
            EXPECT_EQ(DataPacket::readInt64(step.bytes, 4), c.startsAt);
        }
        EXPECT_EQ(s.acknowledged(), c.startsAt);
    }
    // A file that cannot be read back ends the attempt.
    DataSender s;
    ASSERT_TRUE(s.start(path, kSize));
    s.takeHeader();
    s.onStatus(DataPacket::FastAccepted);
    ASSERT_EQ(s.onFastAck(DataPacket::Accepted, 1000).action, Action::Hash);
    EXPECT_EQ(s.onPrefixHashed(nullptr).action, Action::Close);
    EXPECT_EQ(s.failure(), DataSender::Failure::FileUnreadable);
}

// The receiver's answers to fast packets, and what a described connection
// makes of the same bytes.
TEST_F(FastModeTest, ReceiverAnswersToFastPackets)
{
    const QByteArray data = randomBytes(1000);
    const QByteArray hash = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    const auto ack
        = [](qint32 code, qint64 held) { return DataPacket::fastAck(code, DataPacket::FastMaxWindow, held); };
    const auto fastAccepted = DataPacket::status(DataPacket::FastAccepted) + ack(0, 0);
    const struct
    {
        const char *what;
        QByteArray bytes;
        QByteArray replies;
    } cases[] = {
        { "marked header", fastHeader("f.bin", 1000), fastAccepted },
        { "two blocks, one cumulative ack",
            fastHeader("f.bin", 1000) + DataPacket::fastBlock(0, data.left(400))
                + DataPacket::fastBlock(400, data.mid(400, 100)),
            fastAccepted + ack(0, 500) },
        { "block leaving a gap", fastHeader("f.bin", 1000) + DataPacket::fastBlock(1, data.left(10)),
            fastAccepted + ack(DataPacket::BadOffset, 0) },
        { "block beyond the size", fastHeader("f.bin", 1000) + DataPacket::fastBlock(0, data + "x"),
            fastAccepted + ack(DataPacket::CannotWrite, 0) },
        { "end before the last byte", fastHeader("f.bin", 1000) + DataPacket::fastEnd(1000, hash),
            fastAccepted + ack(DataPacket::BadOffset, 0) },
        { "whole file, right hash",
            fastHeader("f.bin", 1000) + DataPacket::fastBlock(0, data) + DataPacket::fastEnd(1000, hash),
            fastAccepted + ack(0, 1000) + ack(DataPacket::Verified, 1000) },
        { "described block on a fast connection",
            fastHeader("f.bin", 1000) + DataPacket::block(0, data.left(10)),
            fastAccepted + ack(DataPacket::TooShort, 0) },
        // Without the marker, kind 3 is any other kind: 0, nothing written.
        { "fast block on a described connection",
            DataPacket::header("f.bin", "1000") + DataPacket::fastBlock(0, data.left(10)),
            DataPacket::status(0) + DataPacket::status(0) },
        // A size text that does not match the marker's makes the header malformed.
        { "marker and size text disagree",
            [] {
                QByteArray h = DataPacket::header("f.bin", "1000");
                DataPacket::Capability c;
                c.fileSize = 999;
                DataPacket::addCapability(h, c);
                return h;
            }(),
            DataPacket::status(DataPacket::TooShort) },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(temp).removeRecursively();
        QDir().mkpath(temp);
        DataReceiver r;
        r.setTempDir(temp);
        r.setExpectedName(QStringLiteral("f.bin"));
        Wire w;
        EXPECT_EQ(r.receive(w.add(c.bytes)), c.replies);
    }
    // Fast mode refused here: a marked header is an ordinary one.
    DataReceiver plain;
    plain.setTempDir(temp);
    plain.setExpectedName(QStringLiteral("g.bin"));
    plain.setFastAllowed(false);
    Wire w;
    EXPECT_EQ(plain.receive(w.add(fastHeader("g.bin", 10))), DataPacket::status(0));
    EXPECT_FALSE(plain.isFast());
}

// A file that is not the one sent is never completed: it stays in temp as it
// is, and no later header opens it again.
TEST_F(FastModeTest, HashMismatchKeepsTheFileAndRefusesLaterHeaders)
{
    const QByteArray data = randomBytes(3000);
    const QString source = makeFile(QStringLiteral("f.bin"), data);
    // An earlier attempt left bytes that are not the sender's.
    QByteArray partial = data.left(2000);
    partial[1500] = char(partial[1500] ^ 0x55);
    {
        QFile f(QDir(temp).filePath(QStringLiteral("f.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(partial);
    }
    DataSender s;
    ASSERT_TRUE(s.start(source, 2000));
    EXPECT_EQ(run(s), Action::Close);
    EXPECT_EQ(s.failure(), DataSender::Failure::HashMismatch);
    EXPECT_TRUE(receiver.verificationFailed());
    EXPECT_FALSE(receiver.isComplete());
    QFile kept(receiver.filePath());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), partial + data.mid(2000));
    receiver.disconnect();
    EXPECT_EQ(feed(fastHeader("f.bin", 3000)), DataPacket::status(DataPacket::CannotOpen));

    // The same start with the sender behind the damage rewrites it: whole.
    QDir(temp).removeRecursively();
    QDir().mkpath(temp);
    DataReceiver r2;
    r2.setTempDir(temp);
    r2.setExpectedName(QStringLiteral("f.bin"));
    {
        QFile f(QDir(temp).filePath(QStringLiteral("f.bin")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(partial);
    }
    DataSender behind;
    ASSERT_TRUE(behind.start(source, 1000));
    Wire wire;
    EXPECT_EQ(run(behind, r2, wire), Action::Complete);
    EXPECT_TRUE(r2.isComplete());
}

// Offsets and sizes of 2 GiB and more: a partial file beyond 2 GiB (sparse,
// so the test takes no room) is resumed and extended at 64-bit offsets, and a
// described header cannot announce such a size.
TEST_F(FastModeTest, FilesOfTwoGiBAndMore)
{
    const qint64 size = k2GiB + 1000;
    const QString partial = QDir(temp).filePath(QStringLiteral("f.bin"));
    makeSparse(partial, k2GiB + 100);
    const QByteArray tail = randomBytes(900);

    const QByteArray replies = feed(fastHeader("f.bin", size));
    EXPECT_EQ(replies,
        DataPacket::status(DataPacket::FastAccepted)
            + DataPacket::fastAck(0, DataPacket::FastMaxWindow, k2GiB + 100));
    EXPECT_EQ(receiver.fileSize(), size);
    EXPECT_EQ(feed(DataPacket::fastBlock(k2GiB + 101, tail)),
        DataPacket::fastAck(DataPacket::BadOffset, DataPacket::FastMaxWindow, k2GiB + 100));
    EXPECT_EQ(feed(DataPacket::fastBlock(k2GiB + 100, tail)),
        DataPacket::fastAck(0, DataPacket::FastMaxWindow, size));
    EXPECT_EQ(receiver.held(), size);
    EXPECT_FALSE(receiver.isComplete()); // only the hash completes it
    receiver.disconnect();
    QFile f(partial);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.size(), size);
    ASSERT_TRUE(f.seek(k2GiB + 100));
    EXPECT_EQ(f.read(900), tail);

    // The same size without the marker is refused as malformed.
    DataReceiver plain;
    plain.setTempDir(temp);
    plain.setExpectedName(QStringLiteral("f.bin"));
    Wire w;
    EXPECT_EQ(plain.receive(w.add(DataPacket::header("f.bin", QByteArray::number(size)))),
        DataPacket::status(DataPacket::TooShort));

    // A sender of such a file whose receiver answers 0 gives up rather than
    // wrap its 32-bit offsets.
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    makeSparse(big, size);
    DataSender s;
    ASSERT_TRUE(s.start(big, 0));
    s.takeHeader();
    EXPECT_EQ(s.onStatus(0).action, Action::Close);
    EXPECT_EQ(s.failure(), DataSender::Failure::TooLargeForPeer);
    EXPECT_EQ(DataPacket::readInt64(DataPacket::fastBlock(qint64(5) << 32, "x"), 4), qint64(5) << 32);
}

} // namespace
