#include "PacketBytes.h"
#include "TransferHarness.h"

#include "transfer/DataPacket.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kWaitMs = 5000;

// A peer that writes whatever it is told to a download panel and collects
// the statuses that come back.
class RawPeer
{
public:
    explicit RawPeer(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        waitUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, kWaitMs);
    }
    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }
    // Waits for `count` statuses, then a little more to catch any extra one.
    QByteArray statuses(int count, int settleMs = 50)
    {
        waitUntil([&] { return m_socket.bytesAvailable() >= count * 4; }, kWaitMs);
        waitUntil([] { return false; }, settleMs);
        return m_socket.readAll();
    }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
};

class HostilePeer : public ::testing::Test
{
protected:
    void SetUp() override { RecordedErrors::take(); }
    // Nothing a peer sends may raise the general error report.
    void TearDown() override { EXPECT_EQ(RecordedErrors::take(), QStringList()); }

    QStringList entriesBesideTemp() const
    {
        return QDir(h.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    TransferHarness h;
};

TEST_F(HostilePeer, EachHostileInputGetsItsStatus)
{
    const QByteArray header = DataPacket::header("h.bin", "1000");
    const struct
    {
        const char *what;
        std::vector<QByteArray> writes; // each written on its own, 30 ms apart
        QByteArray expected;
    } cases[] = {
        { "kind 7", { QByteArray::fromHex("07000000") }, statuses({ 0 }) },
        { "kind 7 with more than 516 bytes", { QByteArray::fromHex("07000000") + QByteArray(700, 'x') },
            statuses({ 1 }) },
        { "header named ../x", { DataPacket::header("../x", "10") }, statuses({ 5 }) },
        { "header named with a backslash", { DataPacket::header("..\\x", "10") }, statuses({ 5 }) },
        { "block before any header", { DataPacket::block(0, "abc") }, statuses({ 3 }) },
        { "negative offset", { header, DataPacket::block(-1, "x") }, statuses({ 0, 4 }) },
        { "offset beyond the end", { header, DataPacket::block(0, "ab"), DataPacket::block(3, "c") },
            statuses({ 0, 0, 4 }) },
        { "count 100000", { header, blockWithCount(0, 100000, 600) }, statuses({ 0, 1 }) },
        { "negative count", { header, blockWithCount(0, -5, 10) }, statuses({ 0, 2 }) },
        { "header in three pieces", { header.left(100), header.mid(100, 300), header.mid(400) },
            statuses({ 0 }) },
        { "two packets in one write", { header + DataPacket::block(0, "xyz") }, statuses({ 0, 0 }) },
        { "header and a full block at once (778 bytes)",
            { header + DataPacket::block(0, QByteArray(256, 'b')) }, statuses({ 0, 0 }) },
        { "block split after its count",
            { header, DataPacket::block(0, "hello").left(10), DataPacket::block(0, "hello").mid(10) },
            statuses({ 0, 0 }) },
        { "size not a number", { DataPacket::header("h.bin", "12a") }, statuses({ 2 }) },
        { "size beyond 32 bits", { DataPacket::header("h.bin", "4294967296") }, statuses({ 2 }) },
    };
    for (const auto &c : cases) {
        auto down = h.download(QStringLiteral("h.bin"), 1000);
        RawPeer peer(quint16(down->Port()));
        ASSERT_TRUE(peer.connected()) << c.what;
        for (const QByteArray &w : c.writes) {
            peer.send(w);
            waitUntil([] { return false; }, 30);
        }
        EXPECT_EQ(peer.statuses(int(c.expected.size() / 4)), c.expected) << c.what;
        EXPECT_TRUE(peer.connected()) << c.what;
        down.reset();
        QFile::remove(h.partial(QStringLiteral("h.bin")));
        EXPECT_EQ(entriesBesideTemp(), (QStringList { "received", "sources", "temp" })) << c.what;
    }
    EXPECT_EQ(QDir(h.temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

TEST_F(HostilePeer, IncompletePacketTimesOutAsTooShort)
{
    auto down = h.download(QStringLiteral("t.bin"), 10);
    down->setPacketTimeout(200);
    RawPeer peer(quint16(down->Port()));
    peer.send(DataPacket::header("t.bin", "10").left(300));
    EXPECT_EQ(peer.statuses(0, 100), QByteArray());
    EXPECT_EQ(peer.statuses(1), statuses({ 2 }));
    // The dropped bytes are gone: a whole header is taken afresh.
    peer.send(DataPacket::header("t.bin", "10"));
    EXPECT_EQ(peer.statuses(1), statuses({ 0 }));
}

TEST_F(HostilePeer, TwoDownloadsNeverShareATempFile)
{
    auto first = h.download(QStringLiteral("same.bin"), 10);
    auto second = h.download(QStringLiteral("same.bin"), 10);
    RawPeer a(quint16(first->Port()));
    RawPeer b(quint16(second->Port()));
    a.send(DataPacket::header("same.bin", "10"));
    EXPECT_EQ(a.statuses(1), statuses({ 0 }));
    b.send(DataPacket::header("same.bin", "10"));
    EXPECT_EQ(b.statuses(1), statuses({ 5 }));
    b.send(DataPacket::block(0, "zzzz"));
    EXPECT_EQ(b.statuses(1), statuses({ 3 }));
    a.send(DataPacket::block(0, "aaaa"));
    EXPECT_EQ(a.statuses(1), statuses({ 0 }));
    EXPECT_EQ(TransferHarness::contents(h.partial(QStringLiteral("same.bin"))), QByteArray("aaaa"));
}

TEST_F(HostilePeer, DisconnectBeforeTheEndLeavesAResumablePartialFile)
{
    auto down = h.download(QStringLiteral("p.bin"), 1000);
    {
        RawPeer peer(quint16(down->Port()));
        peer.send(DataPacket::header("p.bin", "1000"));
        peer.send(DataPacket::block(0, QByteArray(256, 'a')));
        EXPECT_EQ(peer.statuses(2), statuses({ 0, 0 }));
    }
    ASSERT_TRUE(waitUntil([&] { return down->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
    EXPECT_EQ(down->FichierTel(), QStringLiteral("256"));
    EXPECT_NE(down->Status(), QStringLiteral("0"));
    EXPECT_EQ(QFileInfo(h.partial(QStringLiteral("p.bin"))).size(), 256);
    EXPECT_FALSE(QFile::exists(h.destination(QStringLiteral("p.bin"))));
    EXPECT_TRUE(down->isServerActive());
}

// A sender that closes right after its last block, without waiting for the
// status: the download is complete all the same and leaves "temp".
TEST_F(HostilePeer, SenderClosingRightAfterTheLastBlock)
{
    auto down = h.download(QStringLiteral("quick.bin"), 5);
    QSignalSpy done(down.get(), &TvzkLoadPanel::OnTelTermine);
    {
        RawPeer peer(quint16(down->Port()));
        peer.send(
            DataPacket::header("quick.bin", "5") + DataPacket::block(0, "abc") + DataPacket::block(3, "de"));
        peer.socket().abort();
    }
    ASSERT_TRUE(
        waitUntil([&] { return QFile::exists(h.destination(QStringLiteral("quick.bin"))); }, kWaitMs));
    EXPECT_EQ(TransferHarness::contents(h.destination(QStringLiteral("quick.bin"))), QByteArray("abcde"));
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("Terminé"));
}

// A receiver that accepts the header and refuses every block.
TEST_F(HostilePeer, SenderGivesUpAfterSixteenRefusalsInARow)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QTcpSocket *peer = nullptr;
    int headers = 0, blocks = 0;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, peer, [&] {
            const QByteArray bytes = peer->readAll();
            const qint32 kind = DataPacket::readInt(bytes, 0);
            kind == DataPacket::HeaderKind ? ++headers : ++blocks;
            peer->write(DataPacket::status(kind == DataPacket::HeaderKind ? 0 : 6));
        });
    });
    TransferHarness::write(h.source(QStringLiteral("s.bin")), QByteArray(1000, 's'));
    auto up = h.upload(QStringLiteral("s.bin"), server.serverPort());
    QSignalSpy done(up.get(), &TvzkLoadPanel::OnTelTermine);
    up->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return up->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
    EXPECT_EQ(headers, 1);
    EXPECT_EQ(blocks, 16);
    EXPECT_FALSE(up->isClientActive());
    // The block was counted when it went out, as a receiver counts it.
    EXPECT_EQ(up->FichierTel(), QStringLiteral("256"));
    EXPECT_EQ(done.count(), 0);
    ASSERT_TRUE(
        waitUntil([&] { return peer && peer->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
}

} // namespace
