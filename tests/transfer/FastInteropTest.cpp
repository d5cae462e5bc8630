#include "CuttingRelay.h"
#include "DescribedPeers.h"
#include "TransferHarness.h"

#include "transfer/DataPacket.h"
#include "transfer/TransferJob.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

// Two of our panels with the link cut inside every kind of packet of either
// mode, then resumed in the same mode or in the other one. Every "Terminé"
// is true at the moment it is announced, and every completed file is the
// file sent.

namespace {

constexpr int kWaitMs = 20000;
constexpr qint64 kSize = 300000; // four fast blocks of 64 KiB and a short one
constexpr qint64 kFastBlock = DataPacket::FastBlockHeaderSize + DataPacket::FastBlockSize;
constexpr qint64 kAllFastData = DataPacket::HeaderSize + 5 * DataPacket::FastBlockHeaderSize + kSize;

struct Case
{
    const char *what;
    bool firstFast;
    bool secondFast;
    qint64 upCut; // bytes forwarded to the download before the cut, or -1
    qint64 downCut; // bytes forwarded back to the upload before the cut, or -1
    bool senderCompletes; // the upload ends "Terminé"
};

const Case kCases[] = {
    { "fast, cut inside the header", true, true, 100, -1, true },
    { "fast, cut inside the first block", true, true, DataPacket::HeaderSize + 16 + 1000, -1, true },
    { "fast, cut between two blocks", true, true, DataPacket::HeaderSize + 2 * kFastBlock, -1, true },
    { "fast, cut before the end packet", true, true, kAllFastData, -1, true },
    // The receiver verified and completed; its verdict never came back. The
    // finished download still listens and tells the returning sender.
    { "fast, verdict lost", true, true, kAllFastData + DataPacket::FastEndSize, -1, true },
    { "fast, cut after the fast status", true, true, -1, 4, true },
    { "fast, cut inside the first data ack", true, true, -1, 4 + DataPacket::FastAckSize + 8, true },
    // A fast transfer goes on in the described mode, and back.
    { "fast, then described", true, false, DataPacket::HeaderSize + 2 * kFastBlock + 500, -1, true },
    // The upload side is cut as well, so that the receiver cannot hold the
    // whole file yet: a described resumption of a file already whole
    // completes the receiver on its first block and never the sender.
    { "fast ack cut, then described", true, false, DataPacket::HeaderSize + 2 * kFastBlock + 500,
        4 + DataPacket::FastAckSize + 8, true },
    { "described, then fast", false, true, DataPacket::HeaderSize + 40 * (12 + 256) + 100, -1, true },
    { "described status cut, then fast", false, true, -1, 4 * 30 + 2, true },
};

class FastInterop : public ::testing::Test
{
protected:
    void SetUp() override { RecordedErrors::take(); }
    void TearDown() override { EXPECT_EQ(RecordedErrors::take(), QStringList()); }

    TransferHarness h;
};

TEST_F(FastInterop, OurPanelsCutAndResumedInEitherMode)
{
    int i = 0;
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        const QString name = QStringLiteral("interop-%1.bin").arg(i++);
        const QByteArray data = TransferHarness::randomBytes(kSize);
        TransferHarness::write(h.source(name), data);
        auto down = h.download(name, kSize);
        CuttingRelay relay(quint16(down->Port()));
        auto up = h.upload(name, relay.port());
        QSignalSpy downDone(down.get(), &TvzkLoadPanel::OnTelTermine);
        QSignalSpy upDone(up.get(), &TvzkLoadPanel::OnTelTermine);
        // A completion is true at the moment it is announced.
        // The download is in place by then.
        QObject::connect(down.get(), &TvzkLoadPanel::OnTelTermine, down.get(),
            [&] { EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data)); });
        QObject::connect(up.get(), &TvzkLoadPanel::OnTelTermine, up.get(), [&] {
            EXPECT_TRUE(TransferHarness::sameBytes(
                QFile::exists(h.partial(name)) ? h.partial(name) : h.destination(name), data));
        });

        for (int attempt = 0; attempt < 2; ++attempt) {
            const bool fast = attempt == 0 ? c.firstFast : c.secondFast;
            down->job()->setFastMode(fast);
            up->job()->setFastMode(fast);
            if (attempt == 0)
                relay.cutAfter(c.upCut, c.downCut);
            up->job()->setClientActive(true);
            ASSERT_TRUE(waitUntil([&] { return !up->job()->isClientActive(); }, kWaitMs)) << attempt;
            // The download sees the end of the connection through the relay.
            waitUntil([&] { return QFile::exists(h.destination(name)); }, 300);
            if (attempt == 0) {
                EXPECT_TRUE(relay.linkCut());
                // Unless the header's status never came back.
                if (c.upCut < 0 || c.upCut > DataPacket::HeaderSize) {
                    EXPECT_EQ(up->job()->isFast(), c.firstFast);
                }
            }
            if (up->Status() == u"0")
                break;
        }
        EXPECT_EQ(upDone.count(), c.senderCompletes ? 1 : 0);
        EXPECT_EQ(up->CaptionLabelInfo(),
            c.senderCompletes ? QStringLiteral("Terminé") : QStringLiteral("Déconnecté"));
        // The download completes in every case, once.
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_EQ(downDone.count(), 1);
        EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("Terminé"));
        EXPECT_EQ(down->Status(), QStringLiteral("0"));
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        EXPECT_EQ(down->FichierTel(), kSize);
    }
}

// A marked header means nothing to a receiver of the community's clients:
// it answers 0 and our sender stays with the described blocks, which the
// model counts its own way; in the other direction the described sender's
// plain header never puts our receiver in fast mode.
TEST_F(FastInterop, DescribedPeersNeverSeeFastMode)
{
    const QByteArray data = TransferHarness::randomBytes(kSize);
    {
        const QString name = QStringLiteral("to-model.bin");
        TransferHarness::write(h.source(name), data);
        DescribedReceiver model(h.temp, name, h.destination(name));
        auto up = h.upload(name, model.port());
        QSignalSpy done(up.get(), &TvzkLoadPanel::OnTelTermine);
        up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil([&] { return done.count() == 1 && !up->job()->isClientActive(); }, kWaitMs));
        EXPECT_FALSE(up->job()->isFast());
        EXPECT_EQ(up->job()->dataSender().largestInFlight(), 0);
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
    }
    {
        const QString name = QStringLiteral("from-model.bin");
        TransferHarness::write(h.source(name), data);
        DescribedSender model(h.source(name));
        auto down = h.download(name, kSize);
        QSignalSpy done(down.get(), &TvzkLoadPanel::OnTelTermine);
        model.start(quint16(down->Port()));
        ASSERT_TRUE(waitUntil([&] { return model.ended() && QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_EQ(done.count(), 1);
        EXPECT_FALSE(down->job()->dataReceiver().isFast());
        EXPECT_LE(down->job()->dataReceiver().largestPacket(), DataPacket::MaxPacketSize);
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
    }
}

// A file of 2 GiB or more cannot go to a receiver without fast mode (its
// offsets are 32-bit): the upload stops at its answer to the header, says
// why in the log, and sends no block.
TEST_F(FastInterop, AFileOfTwoGigabytesStopsBeforeADescribedReceiver)
{
    const QString name = QStringLiteral("big.bin");
    {
        QFile f(h.source(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(1) << 31)); // sparse
    }
    DescribedReceiver model(h.temp, name, h.destination(name));
    auto up = h.upload(name, model.port());
    QSignalSpy logs(up.get(), &TvzkLoadPanel::OnLog);
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil(
        [&] { return up->CaptionLabelInfo() == u"Déconnecté" && !up->job()->isClientActive(); }, kWaitMs));
    EXPECT_NE(up->Status(), QStringLiteral("0"));
    EXPECT_EQ(up->job()->dataSender().sent(), 0);
    QStringList lines;
    for (const QList<QVariant> &args : logs)
        lines << args.at(1).toString();
    EXPECT_TRUE(lines.filter(QStringLiteral("ne peut pas recevoir un fichier de 2 Go")).size() == 1)
        << lines.join(u'\n').toStdString();
    EXPECT_FALSE(model.complete());
}

// No acknowledgement for the stall limit: the upload ends "Déconnecté"
// instead of waiting for ever, and a download whose sender went silent
// does the same; both can resume afterwards.
TEST_F(FastInterop, SilentPeersEndTheConnectionAfterTheStallLimit)
{
    const QByteArray data = TransferHarness::randomBytes(5000);
    const QString name = QStringLiteral("stall.bin");
    TransferHarness::write(h.source(name), data);
    for (const bool fast : { false, true }) {
        SCOPED_TRACE(fast ? "fast" : "described");
        // A listener that takes the connection and never answers.
        QTcpServer mute;
        ASSERT_TRUE(mute.listen(QHostAddress::LocalHost));
        h.fast = fast;
        auto up = h.upload(name, mute.serverPort());
        up->job()->setStallTimeout(100);
        up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil(
            [&] { return up->CaptionLabelInfo() == u"Déconnecté" && !up->job()->isClientActive(); }, kWaitMs));
        EXPECT_NE(up->Status(), QStringLiteral("0"));

        // A sender that connects and says nothing.
        auto down = h.download(name, data.size());
        down->job()->setStallTimeout(100);
        QTcpSocket silent;
        silent.connectToHost(QHostAddress::LocalHost, quint16(down->Port()));
        ASSERT_TRUE(waitUntil([&] { return silent.state() == QAbstractSocket::ConnectedState; }, kWaitMs));
        silent.write(DataPacket::header(name.toLatin1(), QByteArray::number(data.size())));
        ASSERT_TRUE(waitUntil([&] { return down->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
        ASSERT_TRUE(waitUntil([&] { return silent.state() == QAbstractSocket::UnconnectedState; }, kWaitMs));

        // The same download still takes the real sender afterwards.
        auto real = h.upload(name, quint16(down->Port()));
        QSignalSpy done(down.get(), &TvzkLoadPanel::OnTelTermine);
        real->job()->setClientActive(true);
        ASSERT_TRUE(
            waitUntil([&] { return done.count() == 1 && QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        QFile::remove(h.destination(name));
    }
}

} // namespace
