// The control channel against a raw peer on loopback: what it makes of the
// bytes it reads and what it writes back.
#include "negotiation/ControlChannel.h"
#include "transfer/SizeText.h"

#include "support/EventWait.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/Timing.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 5000 * kTimeScale;

class ControlChannelPeer : public testing::Test
{
protected:
    ControlChannelPeer()
    {
        QObject::connect(&channel, &ControlChannel::Log, &channel, [this](const QString &l) { log << l; });
        QObject::connect(
            &channel, &ControlChannel::Info, &channel, [this](const QString &t, bool, int) { infos << t; });
        address = MainWindowFixture::uniqueLoopbackAddress(0);
        listening = channel.Listen(address);
    }

    // A peer connected to the channel's port 2000.
    void connectPeer()
    {
        ASSERT_TRUE(listening) << channel.ServerTransac->errorString().toStdString();
        peer.connectToHost(QHostAddress(address), ControlChannel::kControlPort);
        ASSERT_TRUE(peer.waitForConnected(kWaitMs));
        ASSERT_TRUE(waitUntil([&] { return channel.Connections().size() == 1; }, kWaitMs));
    }

    void send(const QByteArray &bytes)
    {
        const qsizetype before = log.size();
        peer.write(bytes);
        peer.flush();
        // One "SR:" line per read; wait until this write was read.
        ASSERT_TRUE(waitUntil(
            [&] {
                qsizetype read = 0;
                for (qsizetype i = before; i < log.size(); ++i)
                    if (log.at(i).startsWith(QStringLiteral("SR:")))
                        read += log.at(i).size() - 3;
                return read >= bytes.size();
            },
            kWaitMs));
    }

    QByteArray receivedByPeer()
    {
        waitUntil([&] { return peer.bytesAvailable() > 0; }, 300);
        return peer.readAll();
    }

    ControlChannel channel;
    QString address;
    bool listening = false;
    QTcpSocket peer;
    QStringList log;
    QStringList infos;
};

const QByteArray kAsk = QByteArray("{ask}alice\x01") + "f.txt\x02" + "12\x03" + "10.1.2.3\x05";

TEST_F(ControlChannelPeer, EveryMessageOfOneReadIsActedOnInOrder)
{
    connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    QSignalSpy withdrawn(&channel, &ControlChannel::OfferWithdrawn);
    send(kAsk + "{trc}\x05");
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered.at(0).at(0).toString(), QStringLiteral("f.txt"));
    EXPECT_EQ(offered.at(0).at(1).toString(), QStringLiteral("alice"));
    EXPECT_EQ(offered.at(0).at(2).toString(), QStringLiteral("12 octets"));
    EXPECT_EQ(withdrawn.size(), 1);
    EXPECT_EQ(channel.PeerAddress, QStringLiteral("10.1.2.3"));
    EXPECT_TRUE(log.contains(QStringLiteral("Appel de : alice")));
    EXPECT_TRUE(infos.contains(QStringLiteral("Annulé")));
}

TEST_F(ControlChannelPeer, AMessageSplitOverReadsWaitsForItsEnd)
{
    connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    const QByteArray head = kAsk.left(7);
    send(head);
    EXPECT_EQ(offered.size(), 0);
    send(kAsk.mid(7));
    EXPECT_EQ(offered.size(), 1);
    EXPECT_EQ(channel.OfferFileName, QStringLiteral("f.txt"));
    for (const QString &line : log)
        EXPECT_FALSE(line.startsWith(QStringLiteral("Commande inconnue"))) << line.toStdString();
}

TEST_F(ControlChannelPeer, UnknownCommandsAreOnlyLogged)
{
    connectPeer();
    send("{OUI}\x05\x05hello\x05");
    EXPECT_TRUE(log.contains(QStringLiteral("Commande inconnue :{OUI}")));
    EXPECT_TRUE(log.contains(QStringLiteral("Commande inconnue :")));
    EXPECT_TRUE(log.contains(QStringLiteral("Commande inconnue :hello")));
    EXPECT_TRUE(receivedByPeer().isEmpty());
}

TEST_F(ControlChannelPeer, AnOfferWithABadSizeIsRefusedWithoutShowingAnything)
{
    connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    QSignalSpy popups(&channel, &ControlChannel::Popup);
    for (const QByteArray &size :
        { QByteArray("-5"), QByteArray("99999999999999999999"), QByteArray("12k"), QByteArray() }) {
        SCOPED_TRACE(size.constData());
        send("{ask}alice\x01"
             "f\x02"
            + size
            + "\x03"
              "1.2.3.4\x05");
        EXPECT_EQ(receivedByPeer(), QByteArray("{non}\x05"));
    }
    // A "{ask}" without its separators has an empty size too.
    send("{ask}alice\x05");
    EXPECT_EQ(receivedByPeer(), QByteArray("{non}\x05"));
    EXPECT_EQ(offered.size(), 0);
    EXPECT_EQ(popups.size(), 0);
    EXPECT_TRUE(log.contains(QStringLiteral("Offre refusée, taille invalide : -5")));
}

// Files of 2 GiB and more are offered between Voxlane peers: the size is
// shown as it is, not refused nor wrapped.
TEST_F(ControlChannelPeer, AnOfferOfMoreThanTwoGigabytesIsShownWithItsSize)
{
    connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    send("{ask}alice\x01"
         "grand.iso\x02"
         "3000000000\x03"
         "1.2.3.4\x05");
    ASSERT_TRUE(waitUntil([&] { return offered.size() == 1; }, kWaitMs));
    EXPECT_EQ(offered.at(0).at(0).toString(), QStringLiteral("grand.iso"));
    EXPECT_EQ(offered.at(0).at(2).toString(), SizeText::FormatSize(3000000000LL));
    EXPECT_EQ(channel.OfferSize, QStringLiteral("3000000000"));
    EXPECT_TRUE(receivedByPeer().isEmpty());
}

TEST_F(ControlChannelPeer, AnEndlessMessageIsDroppedAndTheConnectionGoesOn)
{
    connectPeer();
    QSignalSpy withdrawn(&channel, &ControlChannel::OfferWithdrawn);
    send(QByteArray(6000, 'z'));
    EXPECT_TRUE(log.contains(QStringLiteral("Message trop long ignoré (plus de 4096 octets)")));
    send("zz\x05{trc}\x05");
    EXPECT_EQ(withdrawn.size(), 1);
}

TEST_F(ControlChannelPeer, EachOfferGetsOneAnswerAndCanIsAnsweredByTheTable)
{
    connectPeer();
    send(kAsk);
    channel.AcceptOffer(QStringLiteral("/tmp/x"));
    channel.RefuseOffer(); // already answered: nothing more
    EXPECT_EQ(receivedByPeer(), QByteArray("{oui}\x05"));
    EXPECT_TRUE(channel.DownloadAgreed);
    EXPECT_EQ(channel.SavePath, QStringLiteral("/tmp/x"));

    // Without a transfer manager nothing listens, but the port is granted
    // by the table; a second request for it is refused.
    send("{can}20105\x05");
    EXPECT_TRUE(log.contains(QStringLiteral("Demande de port :2010")));
    EXPECT_EQ(receivedByPeer(), QByteArray("{pok}\x05"));
    EXPECT_EQ(channel.CurrentPort, 2010);
    send("{can}2010\x05");
    EXPECT_EQ(receivedByPeer(), QByteArray("{pre}\x05"));
    send("{can}20x0\x05");
    EXPECT_EQ(receivedByPeer(), QByteArray("{pre}\x05"));
}

TEST_F(ControlChannelPeer, SendCmdLogsEveryNonBlankCommandAndPrefersIncomingConnections)
{
    channel.sendCMD(QStringLiteral("   "));
    EXPECT_TRUE(log.isEmpty());
    channel.sendCMD(QStringLiteral("{oui}")); // nobody to carry it
    EXPECT_EQ(log, QStringList({ "W:{oui}" }));

    // An offer while a peer is connected goes to that peer.
    connectPeer();
    QTcpServer recipient;
    ASSERT_TRUE(recipient.listen(
        QHostAddress(MainWindowFixture::uniqueLoopbackAddress(1)), ControlChannel::kControlPort));
    const QString recipientIp = recipient.serverAddress().toString();
    channel.GetIP = [&](const QString &) { return recipientIp; };
    channel.CurrentPseudo = [] { return QStringLiteral("moi"); };
    channel.StartOffer(QStringLiteral("bob"), QStringLiteral(__FILE__));
    ASSERT_TRUE(waitUntil([&] { return recipient.hasPendingConnections(); }, kWaitMs));
    QTcpSocket *other = recipient.nextPendingConnection();
    ASSERT_TRUE(waitUntil([&] { return peer.bytesAvailable() > 0; }, kWaitMs));
    EXPECT_TRUE(peer.readAll().startsWith("{ask}moi\x01"
                                          "ControlChannelTest.cpp\x02"));
    QTest::qWait(50);
    EXPECT_EQ(other->bytesAvailable(), 0);
}

} // namespace
