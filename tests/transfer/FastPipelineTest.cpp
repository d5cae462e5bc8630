#include "transfer/BlockReader.h"
#include "transfer/BlockWriter.h"
#include "transfer/DataPacket.h"
#include "transfer/DataReceiver.h"
#include "transfer/DataSender.h"
#include "transfer/FlightWindow.h"
#include "transfer/PrefixHasher.h"
#include "transfer/Sha256.h"

#include "support/QtPrinters.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Fast mode with its file work on threads of its own: the sender reads and
// hashes ahead of the connection, the receiver writes and hashes behind it.
// The state machines run here without a network; the workers wake the test
// as they would wake the transfer's event loop.

namespace {

using Action = DataSender::Action;

constexpr int kWaitMs = 20000;

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

QByteArray randomBytes(qsizetype n)
{
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(b.data()), n / 4);
    for (qsizetype i = n / 4 * 4; i < n; ++i)
        b[i] = char(QRandomGenerator::global()->generate());
    return b;
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray fastHeader(const QByteArray &name, qint64 size)
{
    QByteArray h = DataPacket::header(name, QByteArray::number(size));
    DataPacket::Capability c;
    c.fileSize = size;
    DataPacket::addCapability(h, c);
    return h;
}

struct Ack
{
    qint32 code;
    qint32 window;
    qint64 held;
};

// The fast acks in a run of replies (after the 4-byte FastAccepted, if any).
std::vector<Ack> acksOf(QByteArray replies)
{
    if (replies.size() >= 4 && DataPacket::readInt(replies, 0) == DataPacket::FastAccepted)
        replies.remove(0, 4);
    std::vector<Ack> acks;
    for (qsizetype at = 0; at + DataPacket::FastAckSize <= replies.size(); at += DataPacket::FastAckSize)
        acks.push_back({ DataPacket::readInt(replies, at), DataPacket::readInt(replies, at + 4),
            DataPacket::readInt64(replies, at + 8) });
    return acks;
}

class FastPipeline : public ::testing::Test
{
protected:
    void SetUp() override
    {
        temp = dir.filePath(QStringLiteral("temp"));
        ASSERT_TRUE(QDir().mkpath(temp));
    }
    void TearDown() override { open.release(1 << 24); }

    QString makeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // A receiver whose writes wait for `open`, and which wakes `woken`.
    void writeBehind(DataReceiver &r, bool held)
    {
        r.setTempDir(temp);
        r.setExpectedName(QStringLiteral("f.bin"));
        if (!held)
            open.release(1 << 24);
        r.setWriteBehind([this] { woken.release(); }, [this] { open.acquire(); });
    }

    QTemporaryDir dir;
    QString temp;
    QSemaphore open; // writes allowed
    QSemaphore woken; // a worker has something
};

// Held writes: the receiver takes blocks off the connection only up to its
// queue's limit (the rest waits there, as it would in the socket and in
// TCP), and acknowledges nothing that is not written. Once the writes go,
// each ack confirms bytes the file holds, and the end packet, which came
// while blocks still waited to be written, gets its verdict once they are,
// from the hash made while writing: nothing is read back.
TEST_F(FastPipeline, ReceiverHoldsItsQueueAndAcknowledgesOnlyWhatIsWritten)
{
    const QByteArray data = randomBytes(20 * 1024 * 1024 + 12345);
    QByteArray sent = fastHeader("f.bin", data.size());
    for (qint64 at = 0; at < data.size(); at += DataPacket::FastBlockSize)
        sent += DataPacket::fastBlock(at, data.mid(at, DataPacket::FastBlockSize));
    sent += DataPacket::fastEnd(data.size(), sha256(data));

    DataReceiver r;
    writeBehind(r, true);
    // Whatever happens below, the writes are let go before the receiver
    // waits for its thread.
    const auto release = qScopeGuard([this] { open.release(1 << 24); });
    Wire wire;
    QByteArray replies = r.receive(wire.add(sent));
    EXPECT_EQ(replies,
        DataPacket::status(DataPacket::FastAccepted)
            + DataPacket::fastAck(DataPacket::Accepted, DataPacket::FastMaxWindow, 0));
    EXPECT_GT(wire.device().bytesAvailable(), data.size() / 2);
    EXPECT_GE(r.largestQueued(), BlockWriter::QueueLimit);
    EXPECT_LE(r.largestQueued(), BlockWriter::QueueLimit + DataPacket::FastBlockSize);
    EXPECT_EQ(r.held(), 0);

    open.release(1 << 24);
    qint64 acked = 0;
    bool verified = false;
    bool hashAsked = false;
    while (!verified) {
        ASSERT_TRUE(woken.tryAcquire(1, kWaitMs)) << "acked " << acked;
        replies = r.onWritten();
        replies += r.receive(wire.device());
        hashAsked = hashAsked || r.hashRequest().has_value();
        const qint64 onDisk = QFileInfo(r.filePath()).size();
        for (const Ack &a : acksOf(replies)) {
            ASSERT_TRUE(a.code == DataPacket::Accepted || a.code == DataPacket::Verified) << a.code;
            EXPECT_EQ(a.window, DataPacket::FastMaxWindow);
            EXPECT_GE(a.held, acked);
            EXPECT_LE(a.held, onDisk);
            acked = a.held;
            verified = a.code == DataPacket::Verified;
        }
    }
    EXPECT_FALSE(hashAsked);
    EXPECT_EQ(acked, data.size());
    EXPECT_TRUE(r.isComplete());
    EXPECT_LE(r.largestQueued(), BlockWriter::QueueLimit + DataPacket::FastBlockSize);
    QFile f(r.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == data);
}

// The link ends while writes wait: what is under way is finished, what
// waits is dropped, and the receiver's count is what the file holds; the
// sender's count (its acks) was never ahead of it.
TEST_F(FastPipeline, DisconnectingWhileWritesWaitKeepsTheCountTrue)
{
    const QByteArray data = randomBytes(4 * 1024 * 1024);
    QByteArray sent = fastHeader("f.bin", data.size());
    for (qint64 at = 0; at < data.size(); at += DataPacket::FastBlockSize)
        sent += DataPacket::fastBlock(at, data.mid(at, DataPacket::FastBlockSize));
    DataReceiver r;
    writeBehind(r, true);
    const auto release = qScopeGuard([this] { open.release(1 << 24); });
    Wire wire;
    r.receive(wire.add(sent));
    open.release(5); // five blocks may be written, then the writes wait
    ASSERT_TRUE(woken.tryAcquire(1, kWaitMs));
    const std::vector<Ack> acks = acksOf(r.onWritten());
    ASSERT_FALSE(acks.empty());
    const qint64 acked = acks.back().held;
    // The disconnection waits for the write under way, which waits for
    // the test: it goes on another thread while the writes are let go.
    std::thread closing([&r] { EXPECT_TRUE(r.disconnect()); });
    open.release(1 << 24);
    closing.join();
    EXPECT_GE(r.held(), acked);
    EXPECT_EQ(QFileInfo(r.filePath()).size(), r.held());
    QFile f(r.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == data.left(r.held()));
}

// Sender reading ahead and receiver writing behind, against each other,
// from the start and resumed: the same file arrives, verified, with what
// each side holds in memory bounded, and only the resumed prefix read back.
TEST_F(FastPipeline, ReadAheadAndWriteBehindCarryWholeFiles)
{
    struct Case
    {
        const char *what;
        qint64 size;
        qint64 held; // already in the receiver's partial file
    };
    const Case cases[] = {
        { "empty", 0, 0 },
        { "one short block", 1000, 0 },
        { "many blocks and a short one", 11 * 1024 * 1024 + 777, 0 },
        { "resumed", 5 * 1024 * 1024 + 3, 3 * 1024 * 1024 + 5 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(temp).removeRecursively();
        QDir().mkpath(temp);
        const QByteArray data = randomBytes(c.size);
        const QString source = makeFile(QStringLiteral("f.bin"), data);
        if (c.held > 0) {
            QFile partial(QDir(temp).filePath(QStringLiteral("f.bin")));
            ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
            partial.write(data.left(c.held));
        }
        DataReceiver r;
        writeBehind(r, false);
        DataSender s;
        s.setReadAhead([this] { woken.release(); });
        ASSERT_TRUE(s.start(source, c.held));

        Wire toReceiver, toSender;
        static const std::atomic_bool notCancelled { false };
        int hashes = 0;
        qint64 largestAhead = 0;
        qint64 largestOverWindow = 0;
        DataSender::Step step { Action::Send, s.takeHeader() };
        Action last = Action::None;
        while (last == Action::None) {
            // The sender: everything it has to say now.
            while (step.action != Action::None) {
                if (step.action == Action::Send) {
                    toReceiver.add(step.bytes);
                } else if (step.action == Action::Hash) {
                    ++hashes;
                    step = s.onPrefixHashed(PrefixHasher::hashFile(source, step.hashUpTo, notCancelled));
                    continue;
                } else {
                    last = step.action;
                    break;
                }
                largestAhead = qMax(largestAhead, s.readAhead());
                largestOverWindow = qMax(largestOverWindow, s.inFlight() - s.window().bytes());
                step = s.receive(toSender.device());
            }
            if (last != Action::None)
                break;
            // The receiver: what it wrote, and what waits for it.
            // In this order: the operands of a + are evaluated in any order,
            // and acks that leave out of order go backwards.
            QByteArray replies = r.onWritten();
            replies += r.receive(toReceiver.device());
            while (const auto request = r.hashRequest()) {
                ++hashes;
                replies += r.onHashed(PrefixHasher::hashFile(request->path, request->upTo, notCancelled));
            }
            if (!replies.isEmpty()) {
                toSender.add(replies);
            } else {
                // Nothing moves until a worker says it has more.
                ASSERT_TRUE(woken.tryAcquire(1, kWaitMs)) << "sent " << s.acknowledged();
                woken.tryAcquire(woken.available());
            }
            step = s.receive(toSender.device());
        }
        ASSERT_EQ(last, Action::Complete) << int(s.failure());
        EXPECT_TRUE(r.isComplete());
        // The sender reads what the receiver holds back for its hash; the
        // receiver has the whole file in its hash, its own prefix included,
        // only if it wrote it all this time.
        EXPECT_EQ(hashes, c.held > 0 ? 2 : 0);
        EXPECT_LE(largestAhead,
            BlockReader::AheadLimit + BlockReader::BlocksPerBatch * DataReceiver::FastReadBuffer);
        EXPECT_LE(largestOverWindow, BlockReader::BlocksPerBatch * DataReceiver::FastReadBuffer);
        EXPECT_LE(r.largestQueued(), BlockWriter::QueueLimit + DataPacket::FastBlockSize);
        QFile f(r.filePath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll() == data);
    }
}

// A file that shrinks while the sender reads ahead ends the attempt; it is
// never passed off as the whole file.
TEST_F(FastPipeline, AFileThatShrinksWhileReadAheadEndsTheAttempt)
{
    const qint64 size = 30 * 1024 * 1024;
    const QString source = dir.filePath(QStringLiteral("f.bin"));
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size));
    }
    DataSender s;
    s.setReadAhead([this] { woken.release(); });
    ASSERT_TRUE(s.start(source, 0));
    s.takeHeader();
    s.onStatus(DataPacket::FastAccepted);
    DataSender::Step step = s.onFastAck(DataPacket::Accepted, 0, DataPacket::FastMaxWindow);
    ASSERT_TRUE(QFile::resize(source, 1024 * 1024));
    qint64 acked = 0;
    while (step.action != Action::Close) {
        ASSERT_NE(step.action, Action::Complete);
        if (step.action == Action::Send) {
            acked = s.acknowledged() + s.inFlight();
            step = s.onFastAck(DataPacket::Accepted, acked, DataPacket::FastMaxWindow);
            continue;
        }
        ASSERT_TRUE(woken.tryAcquire(1, kWaitMs));
        step = s.pump();
    }
    EXPECT_EQ(s.failure(), DataSender::Failure::FileUnreadable);
    EXPECT_LT(acked, size);
}

// The window the sender keeps in flight is the receiver's to bound: one of
// the first fast mode (32 blocks) keeps it at 2 MiB on any path; one that
// advertises more lets it grow on a long path (each round here takes 50 ms
// of the test's clock and acknowledges everything in flight).
TEST_F(FastPipeline, TheWindowFollowsThePathWithinWhatTheReceiverAdvertises)
{
    const qint64 size = qint64(256) * 1024 * 1024;
    const QString source = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size)); // sparse
    }
    for (const qint32 advertised : { DataPacket::FastWindow, DataPacket::FastMaxWindow }) {
        SCOPED_TRACE(advertised);
        qint64 now = 0;
        DataSender s;
        s.setClock([&now] { return now; });
        ASSERT_TRUE(s.start(source, 0));
        s.takeHeader();
        s.onStatus(DataPacket::FastAccepted);
        DataSender::Step step = s.onFastAck(DataPacket::Accepted, 0, advertised);
        for (int round = 0; round < 40 && step.action == Action::Send; ++round) {
            now += 50 * 1000 * 1000;
            step = s.onFastAck(DataPacket::Accepted, s.acknowledged() + s.inFlight(), advertised);
        }
        if (advertised == DataPacket::FastWindow) {
            EXPECT_EQ(s.largestInFlight(), FlightWindow::Floor);
        } else {
            EXPECT_GT(s.largestInFlight(), 4 * FlightWindow::Floor);
            EXPECT_LE(s.largestInFlight(), FlightWindow::Ceiling);
        }
    }
}

// The hash through libcrypto is SHA-256: the same digests as Qt's own, for
// any length and however the bytes are cut, and a digest taken midway does
// not end the stream.
TEST(Sha256, SameDigestsAsQtsOwn)
{
    const QByteArray data = randomBytes(300000);
    for (const qsizetype length : { qsizetype(0), qsizetype(1), qsizetype(55), qsizetype(56), qsizetype(64),
             qsizetype(65537), data.size() }) {
        SCOPED_TRACE(length);
        const QByteArray expected = sha256(data.left(length));
        EXPECT_EQ(Sha256::hash(data.left(length)), expected);
        for (const qsizetype piece : { qsizetype(1), qsizetype(63), qsizetype(4096) }) {
            if (piece == 1 && length > 70000)
                continue;
            Sha256 h;
            for (qsizetype at = 0; at < length; at += piece)
                h.addData(data.mid(at, qMin(piece, length - at)));
            EXPECT_EQ(h.result(), expected);
        }
    }
    Sha256 h;
    h.addData(data.left(1000));
    EXPECT_EQ(h.result(), sha256(data.left(1000)));
    h.addData(data.mid(1000));
    EXPECT_EQ(h.result(), sha256(data));
    h.reset();
    EXPECT_EQ(h.result(), sha256(QByteArray()));
}

} // namespace
