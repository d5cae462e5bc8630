#include "TransferHarness.h"

#include "transfer/DataPacket.h"
#include "transfer/PrefixHasher.h"
#include "transfer/TransferJob.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QCryptographicHash>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

// Files read back for their hash off the user-interface thread, and the
// finished download that tells a returning sender its verdict.

namespace {

constexpr int kWaitMs = 20000;

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// Holds every hash run on its worker until the test lets it go.
struct Gate
{
    QSemaphore entered;
    QSemaphore open;
    std::atomic_int runs { 0 };

    static PrefixHasher::Function holding(const std::shared_ptr<Gate> &gate)
    {
        return [gate](const QString &path, qint64 upTo, const std::atomic_bool &cancelled) {
            ++gate->runs;
            gate->entered.release();
            gate->open.acquire();
            return PrefixHasher::hashFile(path, upTo, cancelled);
        };
    }
    // Waits, running the event loop, until a run is held on the worker.
    bool waitForRun()
    {
        return waitUntil([this] { return entered.available() > 0; }, kWaitMs) && entered.tryAcquire();
    }
};

// Lets every held run go and waits for the workers, so that no test leaves
// one behind.
void drain(const std::shared_ptr<Gate> &gate)
{
    gate->open.release(1000);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

// The event loop keeps turning: a timer set now fires.
bool eventLoopTurns()
{
    bool fired = false;
    QTimer::singleShot(0, [&fired] { fired = true; });
    return waitUntil([&fired] { return fired; }, kWaitMs);
}

class Hashing : public ::testing::Test
{
protected:
    void SetUp() override { RecordedErrors::take(); }
    void TearDown() override
    {
        drain(gate);
        EXPECT_EQ(RecordedErrors::take(), QStringList());
    }

    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    TransferHarness h;
};

TEST_F(Hashing, PrefixHasherHashesOnAWorkerAndAnswersOnItsOwnThread)
{
    const QByteArray data = TransferHarness::randomBytes(3 << 20); // more than one read
    const QString path = h.source(QStringLiteral("p.bin"));
    TransferHarness::write(path, data);
    struct Case
    {
        const char *what;
        QString path;
        qint64 upTo;
        bool hashed;
    };
    const Case cases[] = {
        { "nothing", path, 0, true },
        { "a prefix", path, 1234567, true },
        { "the whole file", path, data.size(), true },
        { "beyond the end", path, data.size() + 1, false },
        { "no such file", h.source(QStringLiteral("missing.bin")), 10, false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PrefixHasher hasher;
        bool done = false;
        QThread *answeredOn = nullptr;
        QByteArray digest;
        hasher.start(c.path, c.upTo, [&](PrefixHasher::Hash hash) {
            done = true;
            answeredOn = QThread::currentThread();
            digest = hash ? hash->result() : QByteArray();
        });
        ASSERT_TRUE(waitUntil([&] { return done; }, kWaitMs));
        EXPECT_EQ(answeredOn, QThread::currentThread());
        EXPECT_EQ(digest, c.hashed ? sha256(data.left(c.upTo)) : QByteArray());
        EXPECT_FALSE(hasher.isRunning());
    }
}

// A run given up never calls back, whether the hasher is told so, starts
// another run or is destroyed while its worker is still reading.
TEST_F(Hashing, AbandonedRunsNeverCallBack)
{
    const QString path = h.source(QStringLiteral("p.bin"));
    TransferHarness::write(path, "abcdef");
    for (const char *how : { "cancel", "restart", "destroy" }) {
        SCOPED_TRACE(how);
        auto hasher = std::make_unique<PrefixHasher>();
        hasher->setFunction(Gate::holding(gate));
        int calls = 0;
        hasher->start(path, 6, [&calls](PrefixHasher::Hash) { ++calls; });
        ASSERT_TRUE(gate->waitForRun());
        QByteArray second;
        if (how == std::string("cancel")) {
            hasher->cancel();
        } else if (how == std::string("restart")) {
            hasher->setFunction(nullptr);
            hasher->start(path, 3, [&second](PrefixHasher::Hash hash) { second = hash->result(); });
        } else {
            hasher.reset();
        }
        gate->open.release();
        QThreadPool::globalInstance()->waitForDone();
        waitUntil([&] { return !second.isEmpty(); }, how == std::string("restart") ? kWaitMs : 50);
        EXPECT_EQ(calls, 0);
        if (how == std::string("restart")) {
            EXPECT_EQ(second, sha256("abc"));
        }
    }
}

// A resumed fast transfer: the sender reads back what the receiver holds,
// the receiver reads back its whole file at the end. Both reads are held on
// their worker for several stall limits while the window's event loop keeps
// running and the keep-alives keep the connection up; the file arrives
// whole, or, when the bytes kept from the earlier attempt are damaged, is
// kept in temp with the verdict on both panels.
TEST_F(Hashing, ResumedFastTransferHashesOffTheEventLoop)
{
    constexpr qint64 kSize = 300000;
    constexpr qint64 kHeld = 100000;
    // Keep-alives go every 400 ms: a loaded machine may delay one by far
    // more than a frame without the connection being given up.
    constexpr int kStallMs = 1200;
    for (const bool damaged : { false, true }) {
        SCOPED_TRACE(damaged ? "damaged prefix" : "sound prefix");
        const QString name = damaged ? QStringLiteral("bad.bin") : QStringLiteral("good.bin");
        const QByteArray data = TransferHarness::randomBytes(kSize);
        TransferHarness::write(h.source(name), data);
        QByteArray partial = data.left(kHeld);
        if (damaged)
            partial[500] = char(partial[500] ^ 0x20);
        TransferHarness::write(h.partial(name), partial);
        gate->runs = 0;

        auto down = h.download(name, kSize, kHeld);
        auto up = h.upload(name, quint16(down->Port()), kHeld);
        for (TvzkLoadPanel *p : { down.get(), up.get() }) {
            p->job()->setHashFunction(Gate::holding(gate));
            p->job()->setStallTimeout(kStallMs);
        }
        QSignalSpy upStopped(up->job(), &TransferJob::stopped);
        up->job()->setClientActive(true);

        // The sender's read of the 100000 bytes held, then the receiver's of
        // the whole file: each held well past the stall limit.
        for (TvzkLoadPanel *reading : { up.get(), down.get() }) {
            ASSERT_TRUE(gate->waitForRun());
            EXPECT_TRUE(reading->job()->isHashing());
            EXPECT_TRUE(eventLoopTurns());
            waitUntil([] { return false; }, 2 * kStallMs);
            EXPECT_TRUE(up->job()->isClientActive());
            gate->open.release();
        }
        ASSERT_TRUE(waitUntil([&] { return !up->job()->isClientActive(); }, kWaitMs));
        EXPECT_EQ(gate->runs, 2);
        if (!damaged) {
            ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)); }, kWaitMs));
            EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
            EXPECT_EQ(up->CaptionLabelInfo(), QStringLiteral("Terminé"));
            EXPECT_EQ(down->Status(), QStringLiteral("0"));
            EXPECT_EQ(upStopped.count(), 0);
        } else {
            const QString verdict = TransferJob::verificationFailedText();
            EXPECT_EQ(up->CaptionLabelInfo(), verdict);
            ASSERT_TRUE(waitUntil([&] { return down->CaptionLabelInfo() == verdict; }, kWaitMs));
            EXPECT_NE(down->Status(), QStringLiteral("0"));
            EXPECT_FALSE(QFile::exists(h.destination(name)));
            EXPECT_TRUE(TransferHarness::sameBytes(h.partial(name), partial + data.mid(kHeld)));
        }
    }
}

// Pausing or destroying either side while its read is held on the worker:
// nothing calls back into the job, nothing completes, the file stays in
// temp for later.
TEST_F(Hashing, StoppingASideWhileItHashes)
{
    constexpr qint64 kSize = 200000;
    constexpr qint64 kHeld = 70000;
    struct Case
    {
        const char *what;
        bool downloadSide; // the side whose read is held (else the upload's)
        bool destroy; // else pause
    };
    const Case cases[] = {
        { "upload paused", false, false },
        { "upload destroyed", false, true },
        { "download paused", true, false },
        { "download destroyed", true, true },
    };
    int i = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QStringLiteral("stop-%1.bin").arg(i++);
        const QByteArray data = TransferHarness::randomBytes(kSize);
        TransferHarness::write(h.source(name), data);
        TransferHarness::write(h.partial(name), data.left(kHeld));
        auto down = h.download(name, kSize, kHeld);
        auto up = h.upload(name, quint16(down->Port()), kHeld);
        (c.downloadSide ? down : up)->job()->setHashFunction(Gate::holding(gate));
        up->job()->setClientActive(true);
        ASSERT_TRUE(gate->waitForRun());
        TvzkLoadPanel *side = (c.downloadSide ? down : up).get();
        ASSERT_TRUE(side->job()->isHashing());
        if (c.destroy)
            (c.downloadSide ? down : up).reset();
        else if (c.downloadSide)
            down->job()->setServerActive(false);
        else
            up->job()->setClientActive(false);
        if (!c.destroy) {
            EXPECT_FALSE(side->job()->isHashing());
        }
        gate->open.release();
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_TRUE(eventLoopTurns());
        // The upload learns of the end of the connection; nothing completed.
        if (up) {
            ASSERT_TRUE(waitUntil([&] { return !up->job()->isClientActive(); }, kWaitMs));
            EXPECT_NE(up->Status(), QStringLiteral("0"));
        }
        if (down) {
            EXPECT_NE(down->Status(), QStringLiteral("0"));
        }
        EXPECT_FALSE(QFile::exists(h.destination(name)));
        // The download reads its file back once every byte has come: all
        // of it waits in temp, unconfirmed.
        EXPECT_TRUE(TransferHarness::sameBytes(h.partial(name), c.downloadSide ? data : data.left(kHeld)));
    }
}

// A download finished in an earlier session (restored with Status "0")
// listens again and gives a returning fast sender its verdict from the
// finished file, whatever count the sender resumes from; the finished file
// is never written, and a file changed since is reported, not repaired.
TEST_F(Hashing, FinishedDownloadAnswersItsReturningSender)
{
    constexpr qint64 kSize = 200000;
    struct Case
    {
        const char *what;
        qint64 senderTel; // the sender's saved count
        bool changedSince; // the finished file no longer is the one sent
    };
    const Case cases[] = {
        { "sender saved before its first block", 0, false },
        { "sender saved half-way", kSize / 2, false },
        { "sender saved everything", kSize, false },
        { "finished file changed since", kSize, true },
    };
    int i = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QStringLiteral("done-%1.bin").arg(i++);
        const QByteArray data = TransferHarness::randomBytes(kSize);
        TransferHarness::write(h.source(name), data);
        QByteArray finished = data;
        if (c.changedSince)
            finished[kSize - 1] = char(finished[kSize - 1] ^ 1);
        TransferHarness::write(h.destination(name), finished);

        auto down = std::make_unique<TestPanel>();
        down->job()->setTempPath(h.temp);
        down->job()->setBindAddress(QStringLiteral("127.0.0.1"));
        down->job()->setPeerAddress(QStringLiteral("127.0.0.1"));
        down->job()->setFichierName(name);
        down->job()->setFichierPath(h.destination(name));
        down->job()->setFichierPoids(QString::number(kSize));
        down->job()->setFichierTel(kSize);
        down->job()->setStatus(QStringLiteral("0"));
        down->job()->setPort(0);
        down->job()->setServerActive(true);
        ASSERT_TRUE(down->job()->isServerActive());
        QSignalSpy downDone(down->job(), &TransferJob::OnTelTermine);
        QSignalSpy downShown(down->job(), &TransferJob::connectionOpened);

        auto up = h.upload(name, down->ServerSocket()->serverPort(), c.senderTel);
        QSignalSpy upDone(up->job(), &TransferJob::OnTelTermine);
        up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil([&] { return !up->job()->isClientActive(); }, kWaitMs));
        EXPECT_TRUE(up->job()->isFast());
        if (c.changedSince) {
            EXPECT_EQ(upDone.count(), 0);
            EXPECT_EQ(up->CaptionLabelInfo(), TransferJob::verificationFailedText());
        } else {
            EXPECT_EQ(upDone.count(), 1);
            EXPECT_EQ(up->CaptionLabelInfo(), QStringLiteral("Terminé"));
            EXPECT_EQ(up->FichierTel(), kSize);
        }
        EXPECT_EQ(TransferHarness::contents(h.destination(name)), finished);
        EXPECT_FALSE(QFile::exists(h.partial(name)));
        EXPECT_EQ(downDone.count(), 0);
        EXPECT_EQ(downShown.count(), 0);
        EXPECT_EQ(down->Status(), QStringLiteral("0"));

        // Removing the panel frees its port.
        const quint16 port = down->ServerSocket()->serverPort();
        down.reset();
        QTcpServer again;
        EXPECT_TRUE(again.listen(QHostAddress::LocalHost, port));
    }
}

// Whatever else comes to a finished download is refused with a status that
// is not 0 and cut off; nothing is written anywhere.
TEST_F(Hashing, FinishedDownloadRefusesAnythingElse)
{
    constexpr qint64 kSize = 3000;
    const QString name = QStringLiteral("fin.bin");
    const QByteArray data = TransferHarness::randomBytes(kSize);
    TransferHarness::write(h.destination(name), data);
    auto down = h.download(name, kSize, kSize);
    down->job()->setServerActive(false);
    down->job()->setStatus(QStringLiteral("0"));
    down->job()->setServerActive(true);
    ASSERT_TRUE(down->job()->isServerActive());

    const auto fastHeader = [](const QByteArray &fileName, qint64 size) {
        QByteArray header = DataPacket::header(fileName, QByteArray::number(size));
        DataPacket::Capability capability;
        capability.fileSize = size;
        DataPacket::addCapability(header, capability);
        return header;
    };
    // The whole file held, and no block taken (window 0).
    const QByteArray accepted
        = DataPacket::status(DataPacket::FastAccepted) + DataPacket::fastAck(DataPacket::Accepted, 0, kSize);
    struct Case
    {
        const char *what;
        QByteArray sent;
        QByteArray replies;
    };
    const Case cases[] = {
        { "described header", DataPacket::header(name.toLatin1(), QByteArray::number(kSize)),
            DataPacket::status(DataPacket::CannotOpen) },
        { "fast header of another file", fastHeader("other.bin", kSize),
            DataPacket::status(DataPacket::CannotOpen) },
        { "fast header of another size", fastHeader(name.toLatin1(), kSize + 1),
            DataPacket::status(DataPacket::CannotOpen) },
        { "described block", DataPacket::block(0, "XYZ"), DataPacket::status(DataPacket::NoFileOpen) },
        { "packet of an unknown kind", QByteArray::fromHex("07000000"),
            DataPacket::status(DataPacket::CannotOpen) },
        { "fast block after the fast header",
            fastHeader(name.toLatin1(), kSize) + DataPacket::fastBlock(0, "XYZ"),
            accepted + DataPacket::fastAck(DataPacket::CannotWrite, 0, kSize) },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QTcpSocket peer;
        peer.connectToHost(QStringLiteral("127.0.0.1"), down->ServerSocket()->serverPort());
        peer.write(c.sent);
        EXPECT_TRUE(waitUntil([&] { return peer.state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
        EXPECT_EQ(peer.readAll(), c.replies);
        EXPECT_EQ(TransferHarness::contents(h.destination(name)), data);
        EXPECT_FALSE(QFile::exists(h.partial(name)));
        EXPECT_TRUE(QDir(h.temp).isEmpty());
        EXPECT_TRUE(down->job()->isServerActive());
    }
}

} // namespace
