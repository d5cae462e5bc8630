#include "DescribedPeers.h"
#include "TransferHarness.h"

#include "transfer/DataPacket.h"
#include "transfer/DataReceiver.h"
#include "transfer/DataSender.h"
#include "transfer/DataTunnel.h"
#include "transfer/PeerIdentity.h"
#include "transfer/PeerKeys.h"
#include "transfer/Sha256.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferProperties.h"
#include "transfer/ui/TfrmPropriete.h"

#include "components/ui/TRbButton.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QBuffer>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>

// Between two of our clients the data connection runs inside TLS from the
// answer to the header on: what a relay on the path records holds nothing
// of the file, a byte changed on the way ends the connection and the
// transfer resumes, and a member whose key changed is stopped before any
// block until the user accepts the new key.

namespace {

constexpr int kWaitMs = 20000;
constexpr qint64 kSize = 300000;
const QByteArray kMarker = QByteArrayLiteral("MARQUEUR-SECRET-0123456789-VOXLANE");

// A file of random bytes with the marker at a few places.
QByteArray markedFile(qint64 size = kSize)
{
    QByteArray data = TransferHarness::randomBytes(size);
    for (const qint64 at : { qint64(0), qint64(70000), size - kMarker.size() })
        data.replace(at, kMarker.size(), kMarker);
    return data;
}

// Everything an observer on the path would capture, both ways; it can
// change one byte going either way, once, after an exact count of bytes,
// or cut the link there.
class RecordingRelay : public QObject
{
public:
    explicit RecordingRelay(quint16 target)
        : m_target(target)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    quint16 port() const { return m_server.serverPort(); }
    // Applies to the next connection: the byte at `at` of that direction is
    // flipped (cut: the link ends right before it instead). Going back, the
    // acks are few and their place unknown: `at` is then how far the
    // upload must have gone, and the last byte of the next bytes coming
    // back (inside an ack's record) is flipped.
    void spoil(bool up, qint64 at, bool cut)
    {
        m_spoilUp = up;
        m_spoilAt = at;
        m_cutInstead = cut;
    }
    QByteArray up; // upload to download, every connection
    QByteArray down;
    QList<QByteArray> upPerConnection;
    int connections = 0;
    bool spoiled = false;

private:
    void accept()
    {
        while (QTcpSocket *in = m_server.nextPendingConnection()) {
            auto *out = new QTcpSocket(this);
            ++connections;
            upPerConnection << QByteArray();
            m_count[0] = m_count[1] = 0;
            m_active = m_spoilAt;
            m_spoilAt = -1;
            QObject::connect(in, &QTcpSocket::readyRead, this, [this, in, out] { pump(in, out, true); });
            QObject::connect(out, &QTcpSocket::connected, this, [this, in, out] { pump(in, out, true); });
            QObject::connect(out, &QTcpSocket::readyRead, this, [this, in, out] { pump(out, in, false); });
            // An end of stream goes on as one, after what was still to be
            // forwarded: closing the other socket outright while it holds
            // unread bytes would reset it and drop what it had not sent.
            QObject::connect(in, &QTcpSocket::disconnected, out, [out] { halfClose(out); });
            QObject::connect(out, &QTcpSocket::disconnected, in, [in] { halfClose(in); });
            QObject::connect(out, &QTcpSocket::errorOccurred, in, [in] { in->disconnectFromHost(); });
            out->connectToHost(QHostAddress::LocalHost, m_target);
        }
    }
    static void halfClose(QTcpSocket *socket)
    {
        const auto shut = [socket] {
            if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState)
                ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, shut);
        shut();
    }
    void pump(QTcpSocket *from, QTcpSocket *to, bool isUp)
    {
        if (to->state() != QAbstractSocket::ConnectedState)
            return;
        QByteArray bytes = from->readAll();
        qint64 &count = m_count[isUp ? 0 : 1];
        bool cutNow = false;
        if (m_active >= 0 && !m_spoilUp && !isUp && m_count[0] > m_active && !bytes.isEmpty()) {
            bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x01);
            m_active = -1;
            spoiled = true;
        } else if (m_active >= 0 && m_spoilUp && isUp && count + bytes.size() > m_active) {
            const qint64 at = m_active - count;
            if (m_cutInstead) {
                bytes.truncate(at);
                cutNow = true;
            } else {
                bytes[at] = char(bytes[at] ^ 0x20);
            }
            m_active = -1;
            spoiled = true;
        }
        count += bytes.size();
        (isUp ? up : down) += bytes;
        if (isUp)
            upPerConnection.last() += bytes;
        to->write(bytes);
        to->flush();
        if (cutNow) {
            from->disconnectFromHost();
            to->disconnectFromHost();
        }
    }

    quint16 m_target;
    QTcpServer m_server;
    qint64 m_count[2] = { 0, 0 };
    qint64 m_spoilAt = -1;
    qint64 m_active = -1;
    bool m_spoilUp = true;
    bool m_cutInstead = false;
};

// One member: a key and the keys it remembers, in a folder of its own.
struct Member
{
    QTemporaryDir dir;
    std::shared_ptr<TransferSecurity> security = TransferSecurity::open(dir.path());
};

class EncryptedTransfer : public ::testing::Test
{
protected:
    void SetUp() override { RecordedErrors::take(); }
    void TearDown() override { EXPECT_EQ(RecordedErrors::take(), QStringList()); }

    // A download by bob from alice and its upload, through the relay.
    struct Pair
    {
        std::unique_ptr<TvzkLoadPanel> down, up;
        std::unique_ptr<RecordingRelay> relay;
    };
    Pair pair(const QString &name, const QByteArray &data, Member *sender, Member *receiver)
    {
        TransferHarness::write(h.source(name), data);
        Pair p;
        p.down = h.download(name, data.size());
        p.down->job()->setFichierProprio(QStringLiteral("alice"));
        p.down->job()->setSecurity(receiver ? receiver->security : nullptr);
        p.relay = std::make_unique<RecordingRelay>(quint16(p.down->Port()));
        p.up = h.upload(name, p.relay->port());
        p.up->job()->setFichierProprio(QStringLiteral("bob"));
        p.up->job()->setSecurity(sender ? sender->security : nullptr);
        return p;
    }
    // One attempt of the upload, to its end.
    static bool attempt(Pair &p)
    {
        // The download must have seen the end of the last connection: a
        // connection that is transferring is never taken over.
        waitUntil([&] { return !p.down->job()->isRunning(); }, 2000);
        p.up->job()->setClientActive(true);
        return waitUntil([&] { return !p.up->job()->isClientActive(); }, kWaitMs);
    }

    TransferHarness h;
    Member alice, bob;
};

} // namespace

// The offer in the marker and its answer, between the two state machines:
// only an offer that the receiver takes switches, the answer then goes
// alone and nothing after it is read as a packet until the tunnel is open.
TEST(EncryptionOffer, OnlyATakenOfferSwitchesAndTheAckWaitsForTheTunnel)
{
    struct Case
    {
        const char *what;
        bool offered, allowed;
        qint32 answer;
    };
    const Case cases[] = {
        { "offered and taken", true, true, DataPacket::FastAcceptedEncrypted },
        { "offered to a receiver without a key", true, false, DataPacket::FastAccepted },
        { "not offered", false, true, DataPacket::FastAccepted },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QByteArray data = TransferHarness::randomBytes(100000);
        const QString source = dir.filePath(QStringLiteral("f.bin"));
        TransferHarness::write(source, data);
        const QString temp = dir.filePath(QStringLiteral("temp"));
        QDir().mkpath(temp);
        // A partial file from an earlier attempt: the first ack says so.
        TransferHarness::write(QDir(temp).filePath(QStringLiteral("f.bin")), data.left(5000));

        DataSender sender;
        sender.setEncryptionOffered(c.offered);
        ASSERT_TRUE(sender.start(source, 0));
        DataReceiver receiver;
        receiver.setTempDir(temp);
        receiver.setExpectedName(QStringLiteral("f.bin"));
        receiver.setEncryptionAllowed(c.allowed);
        const QByteArray header = sender.takeHeader();
        EXPECT_EQ(DataPacket::parseCapability(header)->options & DataPacket::EncryptOption,
            c.offered ? DataPacket::EncryptOption : 0);

        QBuffer wire;
        wire.open(QIODevice::ReadOnly);
        // The handshake's first bytes right behind the header are not packets
        // (in the plain modes they would be, and refused).
        const bool switched = c.answer == DataPacket::FastAcceptedEncrypted;
        const QByteArray hello("\x16\x03\x01\x00\x05hello", 10);
        wire.buffer() = switched ? header + hello : header;
        const QByteArray replies = receiver.receive(wire);
        ASSERT_GE(replies.size(), DataPacket::StatusSize);
        EXPECT_EQ(DataPacket::readInt(replies, 0), c.answer);
        EXPECT_EQ(receiver.awaitsTunnel(), switched);
        EXPECT_EQ(receiver.isEncrypted(), switched);
        const DataSender::Step step = sender.onStatus(DataPacket::readInt(replies, 0));
        EXPECT_EQ(step.action == DataSender::Action::Secure, switched);
        EXPECT_EQ(sender.isEncrypted(), switched);
        EXPECT_TRUE(sender.isFast());
        if (!switched) {
            // The ack with the bytes held follows the answer at once.
            EXPECT_EQ(replies.size(), DataPacket::StatusSize + DataPacket::FastAckSize);
            EXPECT_EQ(DataPacket::readInt64(replies, DataPacket::StatusSize + 8), 5000);
            EXPECT_TRUE(receiver.tunnelOpened().isEmpty());
            continue;
        }
        EXPECT_EQ(replies.size(), DataPacket::StatusSize);
        EXPECT_EQ(wire.bytesAvailable(), hello.size());
        EXPECT_TRUE(receiver.receive(wire).isEmpty());
        EXPECT_EQ(wire.bytesAvailable(), hello.size());
        const QByteArray ack = receiver.tunnelOpened();
        ASSERT_EQ(ack.size(), DataPacket::FastAckSize);
        EXPECT_EQ(DataPacket::readInt(ack, 0), DataPacket::Accepted);
        EXPECT_EQ(DataPacket::readInt64(ack, 8), 5000);
        EXPECT_FALSE(receiver.awaitsTunnel());
        EXPECT_TRUE(receiver.tunnelOpened().isEmpty());
        // The sender goes on from the ack as in the plain fast mode: its own
        // count is 0, so the blocks start there.
        const DataSender::Step first = sender.onFastAck(
            DataPacket::readInt(ack, 0), DataPacket::readInt64(ack, 8), DataPacket::readInt(ack, 4));
        ASSERT_EQ(first.action, DataSender::Action::Send);
        EXPECT_EQ(DataPacket::readInt(first.bytes, 0), DataPacket::FastBlockKind);
        EXPECT_EQ(DataPacket::readInt64(first.bytes, 4), 0);
    }
    // An answer that was never asked for is a refusal.
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("g.bin"));
    TransferHarness::write(source, "abc");
    DataSender plain;
    ASSERT_TRUE(plain.start(source, 0));
    plain.takeHeader();
    EXPECT_EQ(plain.onStatus(DataPacket::FastAcceptedEncrypted).action, DataSender::Action::Close);
    EXPECT_EQ(plain.failure(), DataSender::Failure::HeaderRefused);
}

TEST(DataTunnel, BothSidesAgreeOnKeysAndCodeAndCarryBytesBothWays)
{
    const auto a = PeerIdentity::generate();
    const auto b = PeerIdentity::generate();
    ASSERT_TRUE(a && b);
    ASSERT_NE(a->fingerprint(), b->fingerprint());
    DataTunnel client, server;
    ASSERT_TRUE(client.start(DataTunnel::Role::Client, *a));
    ASSERT_TRUE(server.start(DataTunnel::Role::Server, *b));
    // Plain bytes sealed before the handshake ends wait for it.
    ASSERT_TRUE(client.seal(kMarker));
    QByteArray wire;
    for (int round = 0; round < 4 && !(client.isOpen() && server.isOpen()); ++round) {
        const QByteArray toServer = client.takeOutgoing();
        wire += toServer;
        ASSERT_TRUE(server.feed(toServer)) << server.errorText().toStdString();
        const QByteArray toClient = server.takeOutgoing();
        wire += toClient;
        ASSERT_TRUE(client.feed(toClient)) << client.errorText().toStdString();
    }
    ASSERT_TRUE(client.isOpen() && server.isOpen());
    EXPECT_EQ(client.peerKey(), b->fingerprint());
    EXPECT_EQ(server.peerKey(), a->fingerprint());
    EXPECT_EQ(client.comparisonCode(), server.comparisonCode());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]{6}$")).match(client.comparisonCode()).hasMatch())
        << client.comparisonCode().toStdString();

    const QByteArray big = TransferHarness::randomBytes(200000) + kMarker;
    const QByteArray sealed = client.sealed(big);
    wire += sealed;
    // Any cut of the stream is only bytes still to come.
    ASSERT_TRUE(server.feed(QByteArrayView(sealed).first(sealed.size() / 3)));
    ASSERT_TRUE(server.feed(QByteArrayView(sealed).sliced(sealed.size() / 3)));
    wire += client.takeOutgoing();
    EXPECT_EQ(server.input().readAll(), kMarker + big);
    const QByteArray back = server.sealed(QByteArrayLiteral("ack"));
    ASSERT_TRUE(client.feed(back));
    EXPECT_EQ(client.input().readAll(), QByteArrayLiteral("ack"));
    EXPECT_FALSE(wire.contains(kMarker));
    EXPECT_FALSE(wire.contains(big.left(64)));
}

namespace {
struct OpenPair
{
    std::shared_ptr<PeerIdentity> a = PeerIdentity::generate(), b = PeerIdentity::generate();
    DataTunnel client, server;
    OpenPair()
    {
        client.start(DataTunnel::Role::Client, *a);
        server.start(DataTunnel::Role::Server, *b);
        for (int round = 0; round < 4; ++round) {
            server.feed(client.takeOutgoing());
            client.feed(server.takeOutgoing());
        }
    }
};
} // namespace

// A stream that is not the one sealed ends the tunnel for good, and none of
// the bytes after the damage come out.
TEST(DataTunnel, ChangedOrForeignBytesEndIt)
{
    struct Case
    {
        const char *what;
        std::function<QByteArray(QByteArray)> spoil;
    };
    const Case cases[] = {
        { "one byte of the record's contents flipped",
            [](QByteArray b) {
                b[b.size() / 2] ^= 1;
                return b;
            } },
        { "last byte (the tag) flipped",
            [](QByteArray b) {
                b[b.size() - 1] ^= 0x80;
                return b;
            } },
        { "record header's length changed",
            [](QByteArray b) {
                b[4] ^= 0x01;
                return b;
            } },
        { "record type changed",
            [](QByteArray b) {
                b[0] = 0x16;
                return b;
            } },
        { "plain packet instead of TLS", [](QByteArray) { return DataPacket::fastAck(0, 32, 0); } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        OpenPair p;
        ASSERT_TRUE(p.client.isOpen() && p.server.isOpen());
        const QByteArray sealed = p.client.sealed(kMarker.repeated(10));
        // Enough bytes for the record whose length was changed to be whole.
        const QByteArray more = p.client.sealed(TransferHarness::randomBytes(4096));
        EXPECT_FALSE(p.server.feed(c.spoil(sealed) + more));
        EXPECT_TRUE(p.server.failed());
        EXPECT_FALSE(p.server.errorText().isEmpty());
        EXPECT_FALSE(p.server.input().readAll().contains(kMarker));
        EXPECT_FALSE(p.server.feed(p.client.sealed(kMarker)));
    }
}

TEST(DataTunnel, EachSessionHasItsOwnCode)
{
    OpenPair one, two;
    ASSERT_TRUE(one.client.isOpen() && two.client.isOpen());
    EXPECT_EQ(one.client.comparisonCode(), one.server.comparisonCode());
    EXPECT_EQ(two.client.comparisonCode(), two.server.comparisonCode());
    // A relay that terminated TLS on each side would hold two sessions.
    EXPECT_NE(one.client.comparisonCode(), two.server.comparisonCode());
}

TEST(PeerIdentity, MadeOnceKeptOwnerOnlyAndTightenedOnLoad)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(PeerIdentity::KeyFileName);
    const auto first = PeerIdentity::loadOrCreate(dir.path());
    ASSERT_TRUE(first);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ::chmod(QFile::encodeName(path).constData(), 0644);
    const auto again = PeerIdentity::loadOrCreate(dir.path());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->fingerprint(), first->fingerprint());
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A file that holds no key is said, not replaced.
    TransferHarness::write(path, "pas une clé");
    QString error;
    EXPECT_FALSE(PeerIdentity::loadOrCreate(dir.path(), &error));
    EXPECT_TRUE(error.contains(PeerIdentity::KeyFileName)) << error.toStdString();
    EXPECT_EQ(TransferHarness::contents(path), QByteArray("pas une clé"));
}

TEST(PeerKeys, FirstKeyStaysUntilAcceptedAndSurvivesARestart)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(PeerKeys::FileName);
    const QByteArray k1(32, '\x11'), k2(32, '\x22');
    const QString pseudo = QStringLiteral("Zoé l'ancienne");
    {
        PeerKeys keys(path);
        EXPECT_EQ(keys.check(pseudo, k1), PeerKeys::Verdict::Unknown);
        EXPECT_TRUE(keys.rememberFirst(pseudo, k1));
        // A later success with another key does not replace the first.
        EXPECT_FALSE(keys.rememberFirst(pseudo, k2));
        EXPECT_FALSE(keys.rememberFirst(QStringLiteral("a\nb"), k1));
        EXPECT_EQ(keys.check(pseudo, k1), PeerKeys::Verdict::Same);
        EXPECT_EQ(keys.check(pseudo, k2), PeerKeys::Verdict::Changed);
        EXPECT_EQ(keys.check(QStringLiteral("zoé l'ancienne"), k2), PeerKeys::Verdict::Unknown);
    }
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ::chmod(QFile::encodeName(path).constData(), 0664);
    {
        PeerKeys keys(path);
        EXPECT_EQ(keys.check(pseudo, k2), PeerKeys::Verdict::Changed);
        EXPECT_TRUE(keys.accept(pseudo, k2));
    }
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    PeerKeys keys(path);
    EXPECT_EQ(keys.check(pseudo, k2), PeerKeys::Verdict::Same);
    EXPECT_EQ(keys.check(pseudo, k1), PeerKeys::Verdict::Changed);
}

// What an observer records of a transfer between two of our clients: the
// header (which the negotiation announced in clear already) and the
// switch, then TLS only.
TEST_F(EncryptedTransfer, NothingOfTheFileTravelsInClear)
{
    const QString name = QStringLiteral("secret-report.bin");
    const QByteArray data = markedFile();
    Pair p = pair(name, data, &alice, &bob);
    QSignalSpy done(p.down.get(), &TvzkLoadPanel::OnTelTermine);
    ASSERT_TRUE(attempt(p));
    EXPECT_EQ(p.up->Status(), QStringLiteral("0"));
    ASSERT_TRUE(waitUntil([&] { return done.count() == 1; }, kWaitMs));
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));

    const QByteArray &up = p.relay->up;
    const QByteArray &down = p.relay->down;
    ASSERT_GT(up.size(), kSize);
    EXPECT_FALSE(up.contains(kMarker));
    EXPECT_FALSE(down.contains(kMarker));
    EXPECT_FALSE(up.contains(data.mid(1000, 32)));
    const QByteArray digest = Sha256::hash(data);
    EXPECT_FALSE(up.contains(digest));
    EXPECT_FALSE(down.contains(digest));
    // The name travels in the header, and nowhere after it.
    EXPECT_EQ(up.indexOf(name.toLatin1()), 5);
    EXPECT_EQ(up.indexOf(name.toLatin1(), DataPacket::HeaderSize), -1);
    EXPECT_FALSE(down.contains(name.toLatin1()));
    // The answer to the header, then TLS records (22: handshake, 23: data).
    EXPECT_EQ(DataPacket::readInt(down, 0), DataPacket::FastAcceptedEncrypted);
    EXPECT_EQ(up.at(DataPacket::HeaderSize), char(0x16));
    EXPECT_EQ(down.at(DataPacket::StatusSize), char(0x16));

    for (TvzkLoadPanel *panel : { p.up.get(), p.down.get() }) {
        EXPECT_TRUE(panel->job()->isEncrypted());
        EXPECT_EQ(panel->job()->encryptionText(), TransferJob::encryptedText());
    }
    EXPECT_EQ(p.up->job()->comparisonCode().size(), 6);
    EXPECT_EQ(p.up->job()->comparisonCode(), p.down->job()->comparisonCode());
    // What the properties window shows of it.
    TransferProperties shown;
    TransferProperties::addSecurity(shown, p.down->job());
    EXPECT_EQ(shown.chiffrement,
        QStringLiteral("chiffré — code de comparaison ") + p.down->job()->comparisonCode());
    EXPECT_FALSE(shown.keyChanged);
    // Each side now knows the other's key, under the pseudonym the
    // negotiation named.
    EXPECT_EQ(alice.security->keys->pinned(QStringLiteral("bob")), bob.security->identity->fingerprint());
    EXPECT_EQ(bob.security->keys->pinned(QStringLiteral("alice")), alice.security->identity->fingerprint());

    // A sender that never got its verdict comes back: the finished download
    // answers it from the finished file, inside TLS as well.
    auto again = h.upload(name, p.relay->port());
    again->job()->setFichierProprio(QStringLiteral("bob"));
    again->job()->setSecurity(alice.security);
    QSignalSpy verdict(again.get(), &TvzkLoadPanel::OnTelTermine);
    const qsizetype before = p.relay->up.size();
    again->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return !again->job()->isClientActive(); }, kWaitMs));
    EXPECT_EQ(verdict.count(), 1);
    EXPECT_TRUE(again->job()->isEncrypted());
    EXPECT_EQ(p.relay->connections, 2);
    // No block went (the file was whole), and the hash only inside TLS.
    EXPECT_LT(p.relay->up.size() - before, 8000);
    EXPECT_FALSE(p.relay->up.contains(digest));
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
}

// A side without a key (or a client of the community without fast mode)
// gets the transfer it got before, in clear, and it says so.
TEST_F(EncryptedTransfer, APeerWithoutEncryptionGetsThePlainTransfer)
{
    const QByteArray data = markedFile();
    struct Case
    {
        const char *what;
        bool senderKey, receiverKey;
    };
    const Case cases[] = {
        { "receiver without a key", true, false },
        { "sender without a key", false, true },
    };
    int i = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QStringLiteral("plain-%1.bin").arg(i++);
        Pair p = pair(name, data, c.senderKey ? &alice : nullptr, c.receiverKey ? &bob : nullptr);
        ASSERT_TRUE(attempt(p));
        EXPECT_EQ(p.up->Status(), QStringLiteral("0"));
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        EXPECT_TRUE(p.up->job()->isFast());
        EXPECT_FALSE(p.up->job()->isEncrypted());
        EXPECT_EQ(DataPacket::readInt(p.relay->down, 0), DataPacket::FastAccepted);
        EXPECT_TRUE(p.relay->up.contains(kMarker));
        EXPECT_EQ(p.up->job()->encryptionText(), TransferJob::plainText());
        EXPECT_EQ(p.down->job()->encryptionText(), TransferJob::plainText());
        TransferProperties shown;
        TransferProperties::addSecurity(shown, p.up->job());
        EXPECT_EQ(shown.chiffrement, TransferJob::plainText());
    }

    const QString name = QStringLiteral("to-model.bin");
    TransferHarness::write(h.source(name), data);
    DescribedReceiver model(h.temp, name, h.destination(name));
    auto up = h.upload(name, model.port());
    up->job()->setSecurity(alice.security);
    QSignalSpy done(up.get(), &TvzkLoadPanel::OnTelTermine);
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return done.count() == 1 && !up->job()->isClientActive(); }, kWaitMs));
    EXPECT_FALSE(up->job()->isFast());
    EXPECT_FALSE(up->job()->isEncrypted());
    EXPECT_EQ(up->job()->encryptionText(), TransferJob::plainText());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)); }, kWaitMs));
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));

    const QString back = QStringLiteral("from-model.bin");
    TransferHarness::write(h.source(back), data);
    DescribedSender sender(h.source(back));
    auto down = h.download(back, data.size());
    down->job()->setSecurity(bob.security);
    sender.start(quint16(down->Port()));
    ASSERT_TRUE(waitUntil([&] { return sender.ended() && QFile::exists(h.destination(back)); }, kWaitMs));
    EXPECT_FALSE(down->job()->isEncrypted());
    EXPECT_EQ(down->job()->encryptionText(), TransferJob::plainText());
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(back), data));
}

// A byte changed or the stream cut short on the path, inside TLS, in either
// direction: the connection ends, nothing is "Terminé" on bytes that were
// not verified, and the next attempt completes the very file.
TEST_F(EncryptedTransfer, ASpoiledStreamEndsTheConnectionAndTheTransferResumes)
{
    struct Case
    {
        const char *what;
        bool up;
        qint64 at;
        bool cut;
        qint64 size = kSize;
    };
    const Case cases[] = {
        { "byte flipped in the blocks", true, DataPacket::HeaderSize + 120000, false },
        { "byte flipped in the handshake", true, DataPacket::HeaderSize + 40, false },
        // Enough blocks for their acks to go well past the handshake.
        { "byte flipped in the acks", false, 1 << 20, false, 8 << 20 },
        { "stream cut inside a record", true, DataPacket::HeaderSize + 150007, true },
    };
    int i = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = QStringLiteral("spoiled-%1.bin").arg(i++);
        const QByteArray data = markedFile(c.size);
        Pair p = pair(name, data, &alice, &bob);
        QSignalSpy downDone(p.down.get(), &TvzkLoadPanel::OnTelTermine);
        QSignalSpy upDone(p.up.get(), &TvzkLoadPanel::OnTelTermine);
        QSignalSpy logs(p.down.get(), &TvzkLoadPanel::OnLog);
        QSignalSpy upLogs(p.up.get(), &TvzkLoadPanel::OnLog);
        QObject::connect(p.down.get(), &TvzkLoadPanel::OnTelTermine, p.down.get(),
            [&] { EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data)); });
        p.relay->spoil(c.up, c.at, c.cut);
        ASSERT_TRUE(attempt(p));
        EXPECT_TRUE(p.relay->spoiled) << p.relay->down.size() << " " << p.relay->up.size();
        EXPECT_NE(p.up->Status(), QStringLiteral("0"));
        EXPECT_EQ(upDone.count(), 0);
        waitUntil([&] { return !p.down->job()->isRunning(); }, 2000);
        EXPECT_EQ(downDone.count(), 0);
        EXPECT_FALSE(QFile::exists(h.destination(name)));
        if (!c.cut) {
            QStringList lines;
            for (const auto &args : logs + upLogs)
                lines << args.at(1).toString();
            EXPECT_GE(lines.filter(QStringLiteral("connexion chiffrée rompue")).size(), 1)
                << lines.join(u'\n').toStdString();
        }
        for (int again = 0; again < 3 && p.up->Status() != u"0"; ++again)
            ASSERT_TRUE(attempt(p));
        EXPECT_EQ(p.up->Status(), QStringLiteral("0"));
        ASSERT_TRUE(waitUntil([&] { return downDone.count() == 1; }, kWaitMs));
        EXPECT_EQ(upDone.count(), 1);
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        EXPECT_GE(p.relay->connections, 2);
        EXPECT_FALSE(p.relay->up.contains(kMarker));
    }
}

// A member whose key is not the one remembered, seen from either side: the
// connection ends right after the handshake, before any block, the status
// says why in plain words, and once the user accepts the new key the next
// attempt completes.
TEST_F(EncryptedTransfer, AChangedKeyStopsBeforeAnyBlockUntilAccepted)
{
    for (const bool receiverNotices : { true, false }) {
        SCOPED_TRACE(receiverNotices ? "the download notices" : "the upload notices");
        Member sender, receiver;
        // The key remembered from an earlier transfer is another one.
        const QByteArray old(32, '\x5a');
        if (receiverNotices)
            ASSERT_TRUE(receiver.security->keys->accept(QStringLiteral("alice"), old));
        else
            ASSERT_TRUE(sender.security->keys->accept(QStringLiteral("bob"), old));
        const QString name = QStringLiteral("key-%1.bin").arg(receiverNotices);
        const QByteArray data = markedFile();
        Pair p = pair(name, data, &sender, &receiver);
        TvzkLoadPanel *noticing = receiverNotices ? p.down.get() : p.up.get();
        TvzkLoadPanel *other = receiverNotices ? p.up.get() : p.down.get();
        const QString pseudo = receiverNotices ? QStringLiteral("alice") : QStringLiteral("bob");
        QSignalSpy told(noticing->job(), &TransferJob::peerKeyRefused);
        QSignalSpy otherTold(other->job(), &TransferJob::peerKeyRefused);
        ASSERT_TRUE(attempt(p));
        waitUntil([&] { return !p.down->job()->isRunning(); }, 2000);
        EXPECT_TRUE(noticing->job()->peerKeyChanged());
        EXPECT_EQ(noticing->CaptionLabelInfo(), TransferJob::keyChangedText());
        // The info bar is told too, by the side that noticed only.
        ASSERT_EQ(told.count(), 1);
        EXPECT_EQ(told.last().at(0).toString(), TransferJob::keyStopInfoText(pseudo, true));
        EXPECT_EQ(otherTold.count(), 0);
        TransferProperties shown;
        TransferProperties::addSecurity(shown, noticing->job());
        EXPECT_TRUE(shown.keyChanged);
        EXPECT_TRUE(
            shown.chiffrement.endsWith(QStringLiteral("clé de ") + pseudo + QStringLiteral(" changée")))
            << shown.chiffrement.toStdString();
        EXPECT_NE(p.up->Status(), QStringLiteral("0"));
        // Not a block: the receiver holds nothing, the sender counts nothing.
        EXPECT_EQ(p.down->job()->dataReceiver().held(), 0);
        EXPECT_EQ(p.up->job()->FichierTel(), 0);
        EXPECT_FALSE(p.relay->up.contains(kMarker));
        EXPECT_LT(p.relay->up.size(), DataPacket::HeaderSize + 4000);
        if (!receiverNotices) {
            // Trying again by itself would meet the same key.
            EXPECT_FALSE(p.up->job()->wantsRetry());
        }
        // Another attempt without accepting stops the same way, and the
        // info bar is not told again at every attempt.
        ASSERT_TRUE(attempt(p));
        EXPECT_NE(p.up->Status(), QStringLiteral("0"));
        EXPECT_TRUE(noticing->job()->peerKeyChanged());
        EXPECT_EQ(told.count(), 1);

        EXPECT_TRUE(noticing->job()->acceptPeerKey());
        EXPECT_FALSE(noticing->job()->peerKeyChanged());
        EXPECT_TRUE(p.up->job()->wantsRetry());
        const auto &keys = (receiverNotices ? receiver : sender).security->keys;
        EXPECT_EQ(
            keys->pinned(pseudo), (receiverNotices ? sender : receiver).security->identity->fingerprint());
        ASSERT_TRUE(attempt(p));
        EXPECT_EQ(p.up->Status(), QStringLiteral("0"));
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        // Nothing left to accept.
        EXPECT_FALSE(noticing->job()->acceptPeerKey());
    }
}

// Either stop's line fits the panel beside the avatar at the panel's
// smallest (designed) size.
TEST(KeyStopCaption, FitsBesideTheAvatar)
{
    TransferJob job;
    TvzkLoadPanel panel(job);
    for (const QString &text : { TransferJob::keyChangedText(), TransferJob::plainRefusedText() }) {
        panel.setCaptionLabelInfo(text);
        EXPECT_LT(panel.LabelInfo()->geometry().right(), panel.PictureLoad()->geometry().left())
            << text.toStdString();
    }
}

// The properties window: the encryption row fits above the buttons with
// its longest text, and "Accepter la clé" shows only for a changed key and
// does what the owner gave it.
TEST(EncryptionInProperties, TheRowFitsAndTheButtonAcceptsOnlyAChangedKey)
{
    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    TfrmPropriete w(&main);
    TransferProperties p;
    p.fileName = QStringLiteral("clip.mp3");
    p.source = QStringLiteral("alice");
    p.chiffrement = QStringLiteral("—");
    TransferProperties::addSecurity(p, nullptr);
    EXPECT_EQ(p.chiffrement, QStringLiteral("—"));
    EXPECT_FALSE(p.keyChanged);
    w.showProperties(p, QPixmap(), QImage());
    EXPECT_FALSE(w.btnAccepterCle->isVisible());

    int accepted = 0;
    bool acceptWorks = false;
    w.setKeyAcceptance([&] {
        ++accepted;
        return acceptWorks;
    });
    p.chiffrement
        = QStringLiteral("chiffré — code de comparaison 123456 — clé de Maximilien-Alexandre changée");
    p.keyChanged = true;
    w.showProperties(p, QPixmap(), QImage());
    QCoreApplication::processEvents();
    EXPECT_EQ(w.lblChiffrement->text(), p.chiffrement);
    const QRect area = w.lblChiffrement->contentsRect();
    const QRect needed = w.lblChiffrement->fontMetrics().boundingRect(area, Qt::TextWordWrap, p.chiffrement);
    EXPECT_LE(needed.height(), area.height());
    EXPECT_LE(w.lblChiffrement->mapTo(&w, QPoint(0, w.lblChiffrement->height())).y(), w.btnOK->y());
    ASSERT_TRUE(w.btnAccepterCle->isVisible());
    // Refused (the keys could not be saved): the button stays.
    w.btnAccepterCle->Click();
    EXPECT_EQ(accepted, 1);
    EXPECT_TRUE(w.btnAccepterCle->isVisible());
    acceptWorks = true;
    w.btnAccepterCle->Click();
    EXPECT_EQ(accepted, 2);
    EXPECT_FALSE(w.btnAccepterCle->isVisible());
}

// A cancel travels inside the tunnel like any other packet: either side's
// reaches the other, which stops for good and keeps no partial file.
TEST_F(EncryptedTransfer, EitherSidesCancelReachesTheOtherThroughTheTunnel)
{
    const qsizetype size = 48 * 1024 * 1024;
    const QByteArray data = markedFile(size);
    for (const bool byReceiver : { true, false }) {
        SCOPED_TRACE(byReceiver ? "the receiver cancels" : "the sender cancels");
        const QString name = byReceiver ? QStringLiteral("par-bob.bin") : QStringLiteral("par-alice.bin");
        Pair p = pair(name, data, &alice, &bob);
        QSignalSpy told(byReceiver ? p.up->job() : p.down->job(), &TransferJob::cancelledByPeer);
        p.up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil([&] { return p.down->job()->FichierTel() > 0; }, kWaitMs));
        ASSERT_LT(p.down->job()->FichierTel(), size);
        ASSERT_TRUE(p.down->job()->isEncrypted());

        (byReceiver ? p.down : p.up)->job()->cancelByUser();
        TvzkLoadPanel *other = byReceiver ? p.up.get() : p.down.get();
        ASSERT_TRUE(waitUntil([&] { return told.count() == 1; }, kWaitMs));
        EXPECT_EQ(other->Status(), TransferJob::CancelledStatus);
        EXPECT_EQ(other->CaptionLabelInfo(),
            TransferJob::cancelledText(byReceiver ? QStringLiteral("bob") : QStringLiteral("alice")));
        EXPECT_TRUE(waitUntil([&] { return !QFile::exists(h.partial(name)); }, kWaitMs));
        EXPECT_FALSE(QFile::exists(h.destination(name)));
        EXPECT_FALSE(p.relay->up.contains(kMarker));
    }
}

// A member whose key is remembered and whose connection comes in clear (the
// offer taken out of the header on the path, or a client without the key):
// stopped before any block, said, and let through once the user accepts.
TEST_F(EncryptedTransfer, APlainConnectionFromAMemberWithAKeyStopsUntilAccepted)
{
    for (const bool receiverNotices : { true, false }) {
        SCOPED_TRACE(receiverNotices ? "the download notices" : "the upload notices");
        Member sender, receiver;
        const QByteArray known(32, '\x3c');
        if (receiverNotices)
            ASSERT_TRUE(receiver.security->keys->accept(QStringLiteral("alice"), known));
        else
            ASSERT_TRUE(sender.security->keys->accept(QStringLiteral("bob"), known));
        const QString name = QStringLiteral("plain-%1.bin").arg(receiverNotices);
        const QByteArray data = markedFile();
        // The side that does not notice has no encryption to offer.
        Pair p = pair(name, data, receiverNotices ? nullptr : &sender, receiverNotices ? &receiver : nullptr);
        TvzkLoadPanel *noticing = receiverNotices ? p.down.get() : p.up.get();
        const QString pseudo = receiverNotices ? QStringLiteral("alice") : QStringLiteral("bob");
        QSignalSpy told(noticing->job(), &TransferJob::peerKeyRefused);
        ASSERT_TRUE(attempt(p));
        waitUntil([&] { return !p.down->job()->isRunning(); }, 2000);
        EXPECT_TRUE(noticing->job()->peerKeyChanged());
        EXPECT_EQ(noticing->CaptionLabelInfo(), TransferJob::plainRefusedText());
        ASSERT_EQ(told.count(), 1);
        EXPECT_EQ(told.last().at(0).toString(), TransferJob::keyStopInfoText(pseudo, false));
        EXPECT_EQ(p.down->job()->dataReceiver().held(), 0);
        EXPECT_FALSE(p.relay->up.contains(kMarker));
        EXPECT_NE(p.up->Status(), QStringLiteral("0"));
        if (!receiverNotices) {
            EXPECT_FALSE(p.up->job()->wantsRetry());
        }

        EXPECT_TRUE(noticing->job()->acceptPeerKey());
        const auto &keys = (receiverNotices ? receiver : sender).security->keys;
        EXPECT_TRUE(keys->pinned(pseudo).isEmpty());
        ASSERT_TRUE(attempt(p));
        EXPECT_EQ(p.up->Status(), QStringLiteral("0"));
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        EXPECT_EQ(noticing->job()->encryptionText(), TransferJob::plainText());
    }
    // A described receiver to which nobody ever sent in TLS is served as
    // before (APeerWithoutEncryptionGetsThePlainTransfer); one that was
    // a Voxlane client with a key is stopped as well.
    Member sender;
    ASSERT_TRUE(sender.security->keys->accept(QStringLiteral("carol"), QByteArray(32, '\x01')));
    const QString name = QStringLiteral("to-model.bin");
    TransferHarness::write(h.source(name), markedFile());
    DescribedReceiver model(h.temp, name, h.destination(name));
    auto up = h.upload(name, model.port());
    up->job()->setFichierProprio(QStringLiteral("carol"));
    up->job()->setSecurity(sender.security);
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return !up->job()->isClientActive(); }, kWaitMs));
    EXPECT_EQ(up->CaptionLabelInfo(), TransferJob::plainRefusedText());
    EXPECT_EQ(up->job()->dataSender().sent(), 0);
    // Not one block reached it.
    EXPECT_EQ(QFileInfo(QDir(h.temp).filePath(name)).size(), 0);
    EXPECT_FALSE(model.complete());
}
