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
    down->job()->setPacketTimeout(200);
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
    EXPECT_EQ(down->FichierTel(), 256);
    EXPECT_NE(down->Status(), QStringLiteral("0"));
    EXPECT_EQ(QFileInfo(h.partial(QStringLiteral("p.bin"))).size(), 256);
    EXPECT_FALSE(QFile::exists(h.destination(QStringLiteral("p.bin"))));
    EXPECT_TRUE(down->job()->isServerActive());
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

// A connection while another one is transferring is closed at once; the
// transfer goes on. One that has had no header accepted yet gives way.
TEST_F(HostilePeer, SecondConnectionNeverTakesOverATransfer)
{
    auto down = h.download(QStringLiteral("x.bin"), 10);
    RawPeer first(quint16(down->Port()));
    first.send(DataPacket::header("x.bin", "10") + DataPacket::block(0, "abcd"));
    EXPECT_EQ(first.statuses(2), statuses({ 0, 0 }));
    RawPeer intruder(quint16(down->Port()));
    intruder.send(DataPacket::header("x.bin", "10") + DataPacket::block(0, "EVIL!"));
    EXPECT_TRUE(waitUntil([&] { return !intruder.connected(); }, kWaitMs));
    EXPECT_EQ(intruder.socket().readAll(), QByteArray());
    first.send(DataPacket::block(4, "efghij"));
    EXPECT_EQ(first.statuses(1), statuses({ 0 }));
    EXPECT_EQ(down->Status(), QStringLiteral("0"));
    ASSERT_TRUE(
        waitUntil([&] { return first.socket().abort(), QFile::exists(h.destination("x.bin")); }, kWaitMs));
    EXPECT_EQ(TransferHarness::contents(h.destination(QStringLiteral("x.bin"))), QByteArray("abcdefghij"));

    // Before any header, the newer connection is the one kept.
    auto other = h.download(QStringLiteral("y.bin"), 3);
    RawPeer idle(quint16(other->Port()));
    RawPeer next(quint16(other->Port()));
    EXPECT_TRUE(waitUntil([&] { return !idle.connected(); }, kWaitMs));
    next.send(DataPacket::header("y.bin", "3"));
    EXPECT_EQ(next.statuses(1), statuses({ 0 }));
}

// Only the peer the control channel agreed with is taken.
TEST_F(HostilePeer, ConnectionFromAnotherAddressIsClosedUnanswered)
{
    const struct
    {
        const char *peerAddress; // the panel's PeerAddress
        const char *online; // where its sender is online now ("": offline, nullptr: not asked)
        const char *from; // where the connection comes from
        bool taken;
    } cases[] = {
        { "127.0.0.1", nullptr, "127.0.0.1", true },
        { "127.0.0.1", nullptr, "127.0.0.2", false },
        { "127.0.0.2", nullptr, "127.0.0.1", false },
        { "", nullptr, "127.0.0.1", false },
        { "not an address", nullptr, "127.0.0.1", false },
        // A download restored from the saved list: its sender comes back
        // from where it is online now, and only from there.
        { "", "127.0.0.1", "127.0.0.1", true },
        { "", "127.0.0.2", "127.0.0.1", false },
        { "", "", "127.0.0.1", false },
        { "127.0.0.2", "127.0.0.1", "127.0.0.1", true },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.peerAddress) + " / " + (c.online ? c.online : "-") + " <- " + c.from);
        auto down = h.download(QStringLiteral("a.bin"), 10);
        down->job()->setPeerAddress(QString::fromLatin1(c.peerAddress));
        down->job()->setFichierProprio(QStringLiteral("bob"));
        if (c.online)
            down->job()->ResolvePeer = [online = QString::fromLatin1(c.online)](const QString &pseudo) {
                return pseudo == QLatin1String("bob") ? online : QString();
            };
        QTcpSocket peer;
        ASSERT_TRUE(peer.bind(QHostAddress(QString::fromLatin1(c.from))));
        const bool labelShown = down->LabelInfo()->isVisibleTo(down.get());
        QSignalSpy connected(&peer, &QTcpSocket::connected);
        peer.connectToHost(QStringLiteral("127.0.0.1"), quint16(down->Port()));
        // A refused peer may be closed before this loop sees it connected.
        ASSERT_TRUE(waitUntil([&] { return connected.count() == 1; }, kWaitMs));
        peer.write(DataPacket::header("a.bin", "10"));
        if (c.taken) {
            EXPECT_TRUE(waitUntil([&] { return peer.bytesAvailable() == 4; }, kWaitMs));
            EXPECT_EQ(peer.readAll(), statuses({ 0 }));
        } else {
            EXPECT_TRUE(
                waitUntil([&] { return peer.state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
            EXPECT_EQ(peer.readAll(), QByteArray());
            EXPECT_FALSE(QFile::exists(h.partial(QStringLiteral("a.bin"))));
            // The panel did not take it for its transfer.
            EXPECT_EQ(down->LabelInfo()->isVisibleTo(down.get()), labelShown);
        }
        down.reset();
        QFile::remove(h.partial(QStringLiteral("a.bin")));
    }
}

// Once complete, a download is done for good: it refuses headers,
// announces its completion once and never writes again, neither in "temp"
// nor at the destination. It listens on only to give a returning fast
// sender its verdict; a described header there is refused and cut off.
TEST_F(HostilePeer, HeaderAfterCompletion)
{
    auto down = h.download(QStringLiteral("d.bin"), 3);
    QSignalSpy done(down.get(), &TvzkLoadPanel::OnTelTermine);
    RawPeer peer(quint16(down->Port()));
    peer.send(DataPacket::header("d.bin", "3") + DataPacket::block(0, "abc"));
    EXPECT_EQ(peer.statuses(2), statuses({ 0, 0 }));
    // On the same connection, before the file has moved.
    peer.send(DataPacket::header("d.bin", "3"));
    EXPECT_EQ(peer.statuses(1), statuses({ 5 }));
    peer.send(DataPacket::block(0, "XYZ"));
    EXPECT_EQ(peer.statuses(1), statuses({ 6 }));
    peer.socket().abort();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(QStringLiteral("d.bin"))); }, kWaitMs));
    EXPECT_FALSE(QFile::exists(h.partial(QStringLiteral("d.bin"))));

    // Made active again (a resume of the list, say): still only listening.
    down->job()->setServerActive(true);
    EXPECT_TRUE(down->job()->isServerActive());
    QTcpSocket late;
    late.connectToHost(QStringLiteral("127.0.0.1"), quint16(down->Port()));
    late.write(DataPacket::header("d.bin", "3") + DataPacket::block(0, "XYZ"));
    EXPECT_TRUE(waitUntil([&] { return late.state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
    EXPECT_EQ(late.readAll(), DataPacket::status(DataPacket::CannotOpen));

    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("Terminé"));
    EXPECT_EQ(TransferHarness::contents(h.destination(QStringLiteral("d.bin"))), QByteArray("abc"));
    EXPECT_FALSE(QFile::exists(h.partial(QStringLiteral("d.bin"))));
}

// A peer of one download cannot reach the partial file of another.
TEST_F(HostilePeer, HeaderNamingAnotherDownloadsFile)
{
    const QByteArray paused(700, 'p');
    TransferHarness::write(h.partial(QStringLiteral("paused.bin")), paused);
    auto pausedPanel = h.download(QStringLiteral("paused.bin"), 1000, 700);
    pausedPanel->job()->setServerActive(false);
    auto down = h.download(QStringLiteral("mine.bin"), 1000);
    RawPeer peer(quint16(down->Port()));
    const QByteArray attempts[] = {
        DataPacket::header("paused.bin", "1000"), // would extend or overwrite it
        DataPacket::header("paused.bin", "10"), // shorter than the file
        DataPacket::header("PAUSED.BIN", "1000"),
    };
    for (const QByteArray &a : attempts) {
        peer.send(a);
        EXPECT_EQ(peer.statuses(1), statuses({ 5 }));
        peer.send(DataPacket::block(0, "overwrite"));
        EXPECT_EQ(peer.statuses(1), statuses({ 3 }));
    }
    EXPECT_EQ(TransferHarness::contents(h.partial(QStringLiteral("paused.bin"))), paused);
    EXPECT_FALSE(QFile::exists(h.partial(QStringLiteral("PAUSED.BIN"))));
    EXPECT_TRUE(peer.connected());
}

// A peer whose packets keep being refused is sent away.
TEST_F(HostilePeer, SixteenRefusalsInARowEndTheConnection)
{
    auto down = h.download(QStringLiteral("r.bin"), 1000);
    RawPeer peer(quint16(down->Port()));
    peer.send(DataPacket::header("r.bin", "1000"));
    EXPECT_EQ(peer.statuses(1), statuses({ 0 }));
    for (int i = 0; i < 15; ++i) {
        peer.send(DataPacket::block(600, "x"));
        EXPECT_EQ(peer.statuses(1, 0), statuses({ 4 }));
    }
    EXPECT_TRUE(peer.connected());
    peer.send(DataPacket::block(600, "x"));
    EXPECT_TRUE(waitUntil([&] { return !peer.connected(); }, kWaitMs));
    EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("Déconnecté"));
    EXPECT_NE(down->Status(), QStringLiteral("0"));
    // The panel still listens for the sender's return.
    EXPECT_TRUE(down->job()->isServerActive());
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
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return up->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
    EXPECT_EQ(headers, 1);
    EXPECT_EQ(blocks, 16);
    EXPECT_FALSE(up->job()->isClientActive());
    // The block was counted when it went out, as a receiver counts it.
    EXPECT_EQ(up->FichierTel(), 256);
    EXPECT_EQ(done.count(), 0);
    ASSERT_TRUE(
        waitUntil([&] { return peer && peer->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
}

} // namespace
