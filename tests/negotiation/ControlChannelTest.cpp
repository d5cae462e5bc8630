// The control channel against raw peers on loopback: what it makes of the
// bytes it reads, what it writes back, and on which connection.
#include "base/SettingsStore.h"
#include "contacts/PresenceMonitor.h"
#include "negotiation/ControlChannel.h"
#include "service/ServiceSession.h"
#include "transfer/SizeText.h"
#include "transfer/TransferManager.h"

#include "ControlPeer.h"

#include "support/EventWait.h"
#include "support/FakeService.h"
#include "support/LoopbackAddress.h"
#include "support/ScriptedDialogs.h"
#include "support/QtPrinters.h"
#include "support/Timing.h"

#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kWaitMs = 5000 * kTimeScale;

// Addresses raw peers leave from: any loopback address works for a client.
const QString kPeerA = QStringLiteral("127.250.0.1");
const QString kPeerB = QStringLiteral("127.250.0.2");
const QString kPeerC = QStringLiteral("127.250.0.3");

class ControlChannelPeer : public testing::Test
{
protected:
    ControlChannelPeer()
    {
        QObject::connect(&channel, &ControlChannel::Log, &channel, [this](const QString &l) { log << l; });
        QObject::connect(
            &channel, &ControlChannel::Info, &channel, [this](const QString &t, bool, int) { infos << t; });
        address = ownAddress;
        listening = channel.Listen(address);
    }

    // A peer connected to the channel's port 2000, from `from`.
    std::unique_ptr<ControlPeer> connectPeer(const QString &from = kPeerA)
    {
        EXPECT_TRUE(listening) << channel.ServerTransac()->errorString().toStdString();
        auto peer = std::make_unique<ControlPeer>();
        const qsizetype before = channel.Connections().size();
        EXPECT_TRUE(peer->connectTo(address, from));
        EXPECT_TRUE(waitUntil([&] { return channel.Connections().size() == before + 1; }, kWaitMs));
        return peer;
    }

    // Sends bytes and waits until the channel has read them all.
    void send(ControlPeer &peer, const QByteArray &bytes)
    {
        const qsizetype before = log.size();
        peer.send(bytes);
        ASSERT_TRUE(waitUntil(
            [&] {
                qsizetype read = 0;
                for (qsizetype i = before; i < log.size(); ++i)
                    read += readLogged(log.at(i));
                return read >= bytes.size();
            },
            kWaitMs));
    }

    // The bytes one log line says were read: the line itself, or the count
    // at the end of a line cut short.
    static qsizetype readLogged(const QString &line)
    {
        if (!line.startsWith(QStringLiteral("SR:")))
            return 0;
        static const QRegularExpression cut(QStringLiteral("… \\((\\d+) octets\\)$"));
        const QRegularExpressionMatch m = cut.match(line);
        return m.hasMatch() ? m.captured(1).toLongLong() : line.size() - 3;
    }

    int lastOffer(const QSignalSpy &offered) const { return offered.last().at(0).toInt(); }

    // The controllers the channel works with, as the program joins them,
    // on a service that answers nothing of its own. Downloads listen on
    // this test's own address, as the channel does, so that another
    // program's port 2010 elsewhere on the machine is not in the way.
    const QString ownAddress = uniqueLoopbackAddress(0);
    FakeService service;
    ScriptedDialogs dialogs;
    QTemporaryDir home;
    SettingsStore settings { home.filePath(QStringLiteral("Voxlane.conf")) };
    ServiceSession session { service.baseUrl(), HttpLimits { 2000, 2000 }, QString(), dialogs };
    PresenceMonitor presence { session };
    TransferManager transfers { session, presence, settings, ownAddress };
    ControlChannel channel { session, presence, transfers };
    QString address;
    bool listening = false;
    QStringList log;
    QStringList infos;
};

const QByteArray kAsk = askBytes("alice", "f.txt", "12", "10.1.2.3");

TEST_F(ControlChannelPeer, EveryMessageOfOneReadIsActedOnInOrder)
{
    auto peer = connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    QSignalSpy closed(&channel, &ControlChannel::OfferClosed);
    QSignalSpy popups(&channel, &ControlChannel::OfferPopup);
    send(*peer, kAsk + "{trc}\x05");
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered.at(0).at(1).toString(), QStringLiteral("f.txt"));
    EXPECT_EQ(offered.at(0).at(2).toString(), QStringLiteral("alice"));
    EXPECT_EQ(offered.at(0).at(3).toString(), QStringLiteral("12 octets"));
    ASSERT_EQ(popups.size(), 1);
    EXPECT_EQ(popups.at(0).at(2).toString(), QStringLiteral("vous envoi : \n\rf.txt"));
    // The withdrawal closes the offer's window and pop-up, and is answered.
    ASSERT_EQ(closed.size(), 1);
    EXPECT_EQ(closed.at(0).at(0).toInt(), lastOffer(offered));
    EXPECT_EQ(peer->expect("{non}\x05"), QByteArray("{non}\x05"));
    EXPECT_TRUE(log.contains(QStringLiteral("Appel de : alice")));
    EXPECT_TRUE(infos.contains(QStringLiteral("Annulé")));
    EXPECT_TRUE(channel.openOffers().isEmpty());
}

TEST_F(ControlChannelPeer, AMessageSplitOverReadsWaitsForItsEnd)
{
    auto peer = connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    send(*peer, kAsk.left(7));
    EXPECT_EQ(offered.size(), 0);
    send(*peer, kAsk.mid(7));
    ASSERT_EQ(offered.size(), 1);
    ASSERT_EQ(channel.openOffers().size(), 1);
    EXPECT_EQ(channel.openOffers().at(0).fileName, QStringLiteral("f.txt"));
    EXPECT_EQ(channel.openOffers().at(0).address, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(channel.openOffers().at(0).host, kPeerA);
    for (const QString &line : log)
        EXPECT_FALSE(line.startsWith(QStringLiteral("Commande inconnue"))) << line.toStdString();
}

TEST_F(ControlChannelPeer, UnknownCommandsAndAnswersWithoutAnOfferAreOnlyLogged)
{
    auto peer = connectPeer();
    send(*peer, "{OUI}\x05\x05hello\x05{oui}\x05{pok}\x05{can}2010\x05{trc}\x05");
    EXPECT_TRUE(log.contains(QStringLiteral("Commande inconnue :{OUI}")));
    EXPECT_TRUE(log.contains(QStringLiteral("Commande inconnue :")));
    EXPECT_TRUE(log.contains(QStringLiteral("Commande inconnue :hello")));
    EXPECT_TRUE(log.contains(QStringLiteral("Réponse sans offre ignorée : {oui}")));
    // A port asked for without an accepted offer is neither granted nor
    // recorded.
    EXPECT_TRUE(log.contains(QStringLiteral("Port demandé sans offre acceptée, ignoré : {can}2010")));
    EXPECT_FALSE(log.contains(QStringLiteral("Demande de port :2010")));
    EXPECT_EQ(channel.portTable().size(), 1);
    EXPECT_TRUE(peer->receive().isEmpty());
}

TEST_F(ControlChannelPeer, AnOfferWithABadSizeIsRefusedWithoutShowingAnything)
{
    auto peer = connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    QSignalSpy popups(&channel, &ControlChannel::OfferPopup);
    for (const QByteArray &size :
        { QByteArray("-5"), QByteArray("99999999999999999999"), QByteArray("12k"), QByteArray("abc") }) {
        SCOPED_TRACE(size.constData());
        send(*peer, askBytes("alice", "f", size, "1.2.3.4"));
        EXPECT_EQ(peer->expect("{non}\x05"), QByteArray("{non}\x05"));
        // A port request after it finds no accepted offer.
        send(*peer, "{can}2010\x05");
        EXPECT_TRUE(peer->receive().isEmpty());
    }
    // A "{ask}" without its separators has an empty size too.
    send(*peer, "{ask}alice\x05");
    EXPECT_EQ(peer->expect("{non}\x05"), QByteArray("{non}\x05"));
    EXPECT_EQ(offered.size(), 0);
    EXPECT_EQ(popups.size(), 0);
    EXPECT_TRUE(log.contains(QStringLiteral("Offre refusée, taille invalide : -5")));
}

// Files of 2 GiB and more are offered between Voxlane peers: the size is
// shown as it is, not refused nor wrapped.
TEST_F(ControlChannelPeer, AnOfferOfMoreThanTwoGigabytesIsShownWithItsSize)
{
    auto peer = connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    send(*peer, askBytes("alice", "grand.iso", "3000000000", "1.2.3.4"));
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered.at(0).at(1).toString(), QStringLiteral("grand.iso"));
    EXPECT_EQ(offered.at(0).at(3).toString(), SizeText::FormatSize(3000000000LL));
    EXPECT_EQ(channel.openOffers().at(0).size, QStringLiteral("3000000000"));
    EXPECT_TRUE(peer->receive().isEmpty());
}

TEST_F(ControlChannelPeer, AnEndlessMessageIsDroppedAndItsLogLineCutShort)
{
    auto peer = connectPeer();
    QSignalSpy closed(&channel, &ControlChannel::OfferClosed);
    send(*peer, QByteArray(6000, 'z'));
    EXPECT_TRUE(log.contains(QStringLiteral("Message trop long ignoré (plus de 4096 octets)")));
    for (const QString &line : log)
        EXPECT_LE(line.size(), channel.limits().logLineBytes + 40);
    send(*peer, "zz\x05" + kAsk + "{trc}\x05");
    EXPECT_EQ(closed.size(), 1);
}

TEST_F(ControlChannelPeer, EachOfferGetsOneAnswerAndOnePort)
{
    auto peer = connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    send(*peer, kAsk);
    const int id = lastOffer(offered);
    EXPECT_TRUE(channel.OfferAwaitingAnswer(id));
    EXPECT_TRUE(channel.AcceptOffer(id, QStringLiteral("/tmp/x")));
    EXPECT_FALSE(channel.RefuseOffer(id)); // already answered: nothing more
    EXPECT_FALSE(channel.AcceptOffer(id, QStringLiteral("/tmp/y")));
    EXPECT_EQ(peer->expect("{oui}\x05"), QByteArray("{oui}\x05"));
    ASSERT_EQ(channel.openOffers().size(), 1);
    EXPECT_TRUE(channel.openOffers().at(0).accepted);
    EXPECT_EQ(channel.openOffers().at(0).savePath, QStringLiteral("/tmp/x"));

    // A malformed port is refused and the offer stays; then the port is
    // granted (nothing of this client holds it) and the offer is over.
    send(*peer, "{can}20x0\x05");
    EXPECT_EQ(peer->expect("{pre}\x05"), QByteArray("{pre}\x05"));
    send(*peer, "{can}20105\x05");
    EXPECT_TRUE(log.contains(QStringLiteral("Demande de port :2010")));
    EXPECT_EQ(peer->expect("{pok}\x05"), QByteArray("{pok}\x05"));
    EXPECT_EQ(channel.portTable().at(0).owner, QStringLiteral("10.1.2.3"));
    EXPECT_TRUE(channel.openOffers().isEmpty());
    // A second "{can}" after the accepted offer gets nothing.
    send(*peer, "{can}2011\x05");
    EXPECT_TRUE(peer->receive().isEmpty());
    EXPECT_FALSE(log.contains(QStringLiteral("Demande de port :2011")));
}

// The receiving user is told when a sender gives up after refused ports.
TEST_F(ControlChannelPeer, ASenderThatGivesUpAfterRefusedPortsIsReported)
{
    auto peer = connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    send(*peer, kAsk);
    ASSERT_TRUE(channel.AcceptOffer(lastOffer(offered), QStringLiteral("/tmp/x")));
    send(*peer, "{can}0000\x05");
    EXPECT_EQ(peer->expect("{oui}\x05{pre}\x05"), QByteArray("{oui}\x05{pre}\x05"));
    peer->socket.disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return channel.openOffers().isEmpty(); }, kWaitMs));
    EXPECT_TRUE(infos.contains(QStringLiteral("Transfert de f.txt impossible : aucun port de données libre")))
        << infos.join(u'|').toStdString();
}

TEST_F(ControlChannelPeer, EachConnectionHasItsOwnOfferAndItsOwnAnswers)
{
    auto bob = connectPeer(kPeerA);
    auto carol = connectPeer(kPeerB);
    auto mallory = connectPeer(kPeerC);
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    QSignalSpy closed(&channel, &ControlChannel::OfferClosed);
    send(*bob, askBytes("bob", "report.pdf", "20000000", "10.0.0.2"));
    send(*carol, askBytes("carol", "song.mp3", "300", "10.0.0.3"));
    // The window gets one offer at a time: bob's.
    ASSERT_EQ(offered.size(), 1);
    const int bobOffer = lastOffer(offered);
    EXPECT_EQ(offered.at(0).at(2).toString(), QStringLiteral("bob"));
    ASSERT_EQ(channel.openOffers().size(), 2);
    const int carolOffer = channel.openOffers().at(1).id;

    // A stranger's withdrawal closes nothing of theirs.
    send(*mallory, "{trc}\x05");
    EXPECT_EQ(closed.size(), 0);

    // Bob's offer accepted; a stranger asks, then asks for a port, and
    // sends data: its offer is not the accepted one.
    ASSERT_TRUE(channel.AcceptOffer(bobOffer, QStringLiteral("/tmp/report.pdf")));
    EXPECT_EQ(bob->expect("{oui}\x05"), QByteArray("{oui}\x05"));
    send(*mallory, askBytes("bob", "report.pdf", "17", "10.0.0.66") + "{can}2015\x05");
    EXPECT_FALSE(log.contains(QStringLiteral("Demande de port :2015")));
    EXPECT_TRUE(mallory->receive().isEmpty());
    ASSERT_EQ(channel.openOffers().size(), 3);
    EXPECT_EQ(channel.openOffers().at(0).address, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(channel.openOffers().at(0).savePath, QStringLiteral("/tmp/report.pdf"));

    // Carol's offer reaches the window once bob's was answered; refusing it
    // answers carol only.
    ASSERT_TRUE(waitUntil([&] { return offered.size() == 2; }, kWaitMs));
    EXPECT_EQ(lastOffer(offered), carolOffer);
    ASSERT_TRUE(channel.RefuseOffer(carolOffer));
    EXPECT_EQ(carol->expect("{non}\x05"), QByteArray("{non}\x05"));
    EXPECT_TRUE(bob->receive().isEmpty());
    EXPECT_TRUE(mallory->receive().isEmpty());

    // Bob's port request is his own.
    send(*bob, "{can}2010\x05");
    EXPECT_EQ(bob->expect("{pok}\x05"), QByteArray("{pok}\x05"));
    EXPECT_TRUE(mallory->receive().isEmpty());
}

TEST_F(ControlChannelPeer, OffersAreBoundedPerAddressAndInAll)
{
    auto peer = connectPeer(kPeerA);
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    QSignalSpy popups(&channel, &ControlChannel::OfferPopup);
    // 500 offers from one address in one go: one is taken, the others are
    // refused at once.
    QByteArray flood;
    for (int i = 0; i < 500; ++i)
        flood += askBytes("x", "f" + QByteArray::number(i), "1", "10.0.0.9");
    send(*peer, flood);
    const QByteArray refusals = peer->receive(499 * 6, kWaitMs);
    EXPECT_EQ(refusals.count("{non}\x05"), 499);
    EXPECT_EQ(offered.size(), 1);
    EXPECT_EQ(popups.size(), 1);

    // A second connection from the same address cannot open another one.
    auto again = connectPeer(kPeerA);
    send(*again, kAsk);
    EXPECT_EQ(again->expect("{non}\x05"), QByteArray("{non}\x05"));

    // Other addresses: up to the limit in all.
    std::vector<std::unique_ptr<ControlPeer>> others;
    for (int i = 0; i < channel.limits().openOffers + 1; ++i) {
        others.push_back(connectPeer(QStringLiteral("127.250.1.%1").arg(i + 1)));
        send(*others.back(), kAsk);
    }
    EXPECT_EQ(channel.openOffers().size(), channel.limits().openOffers);
    EXPECT_EQ(others.back()->expect("{non}\x05"), QByteArray("{non}\x05"));
}

TEST_F(ControlChannelPeer, ConnectionsAreCappedAndIdleOnesClosed)
{
    ControlChannel::Limits limits;
    limits.connectionsPerHost = 3;
    limits.connections = 5;
    limits.idleMs = 300 * kTimeScale;
    channel.setLimits(limits);

    // An offer waiting for this user's answer keeps its connection however
    // long the user takes.
    std::vector<std::unique_ptr<ControlPeer>> peers;
    peers.push_back(connectPeer(kPeerA));
    send(*peers.at(0), kAsk);
    // From one address, the fourth connection is closed at once.
    for (int i = 0; i < 2; ++i)
        peers.push_back(connectPeer(kPeerA));
    ControlPeer extra;
    ASSERT_TRUE(extra.connectTo(address, kPeerA));
    EXPECT_TRUE(extra.closedByPeer());
    EXPECT_TRUE(log.contains(QStringLiteral("Connexion refusée (trop de connexions) : ") + kPeerA));

    // In all, the sixth is closed too.
    peers.push_back(connectPeer(kPeerB));
    peers.push_back(connectPeer(kPeerC));
    ControlPeer sixth;
    ASSERT_TRUE(sixth.connectTo(address, QStringLiteral("127.250.0.9")));
    EXPECT_TRUE(sixth.closedByPeer());

    // Idle ones are closed, which makes room again.
    for (std::size_t i = 1; i < peers.size(); ++i)
        EXPECT_TRUE(peers.at(i)->closedByPeer());
    EXPECT_EQ(channel.Connections().size(), 1);
    EXPECT_EQ(peers.at(0)->socket.state(), QAbstractSocket::ConnectedState);
    auto later = connectPeer(kPeerB);
    send(*later, askBytes("carol", "g", "1", "10.0.0.3"));
    EXPECT_EQ(channel.openOffers().size(), 2);
}

TEST_F(ControlChannelPeer, ASenderThatLeavesClosesItsOffer)
{
    auto peer = connectPeer();
    QSignalSpy offered(&channel, &ControlChannel::OfferReceived);
    QSignalSpy closed(&channel, &ControlChannel::OfferClosed);
    send(*peer, kAsk);
    peer->socket.disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return closed.size() == 1; }, kWaitMs));
    EXPECT_EQ(closed.at(0).at(0).toInt(), lastOffer(offered));
    EXPECT_FALSE(channel.AcceptOffer(lastOffer(offered), QStringLiteral("/tmp/x")));
    EXPECT_TRUE(infos.contains(QStringLiteral("Annulé")));
}

// This user's offer --------------------------------------------------------

// The recipient's side of an offer, as a raw server on port 2000.
class OfferingSide : public ControlChannelPeer
{
protected:
    OfferingSide()
    {
        recipientIp = uniqueLoopbackAddress(1);
        EXPECT_TRUE(recipient.listen(QHostAddress(recipientIp), ControlChannel::kControlPort))
            << recipient.errorString().toStdString();
        // "moi" is this member; the poll says where bob and moi are.
        session.setAccount(QStringLiteral("moi"), QStringLiteral("secret"));
        QString body = QStringLiteral("<html><body>\r\n");
        for (const auto &[name, ip] : { std::pair { QStringLiteral("moi"), address },
                 std::pair { QStringLiteral("bob"), recipientIp } }) {
            QString letters;
            session.codec().EncryptForUser(name, ip, letters);
            body += QStringLiteral("pseudo=") + name + QStringLiteral("<br>") + letters + QStringLiteral("<br>\r\n");
        }
        presence.ApplyPresenceReply(body + QStringLiteral("</body></html>"));
        QObject::connect(&channel, &ControlChannel::RecipientEditable, &channel, [this](bool on) { editable = on; });
        QObject::connect(&channel, &ControlChannel::CancelVisible, &channel, [this](bool on) { cancelShown = on; });
        file = QStringLiteral(__FILE__);
    }

    // Starts an offer to bob and takes the connection it opens.
    QTcpSocket *offerToBob()
    {
        channel.StartOffer(QStringLiteral("bob"), file);
        if (!waitUntil([&] { return recipient.hasPendingConnections(); }, kWaitMs))
            return nullptr;
        QTcpSocket *s = recipient.nextPendingConnection();
        waitUntil([&] { return s->bytesAvailable() > 0; }, kWaitMs);
        return s;
    }

    static QByteArray readFrom(QTcpSocket *s, qsizetype atLeast)
    {
        QByteArray got;
        waitUntil(
            [&] {
                got += s->readAll();
                return got.size() >= atLeast;
            },
            atLeast > 0 ? kWaitMs : 300);
        return got;
    }

    bool idleAgain()
    {
        return waitUntil(
            [&] { return channel.offerState() == ControlChannel::OfferState::Idle && editable && !cancelShown; },
            kWaitMs);
    }

    QTcpServer recipient;
    QString recipientIp;
    QString file;
    bool editable = true;
    bool cancelShown = false;
};

TEST_F(OfferingSide, TheOfferGoesToTheRecipientOnlyWhateverIsConnectedHere)
{
    // A peer connected to this client (one that offered something and was
    // refused) hears nothing of this user's offer.
    auto other = connectPeer();
    send(*other, kAsk);
    ASSERT_TRUE(channel.RefuseOffer(channel.openOffers().at(0).id));
    EXPECT_EQ(other->expect("{non}\x05"), QByteArray("{non}\x05"));

    QTcpSocket *s = offerToBob();
    ASSERT_NE(s, nullptr);
    const QByteArray ask = readFrom(s, 10);
    EXPECT_TRUE(ask.startsWith("{ask}moi\x01"
                               "ControlChannelTest.cpp\x02"))
        << ask.constData();
    EXPECT_TRUE(ask.endsWith(QByteArray("\x03") + address.toLatin1() + "\x05"));
    EXPECT_TRUE(other->receive().isEmpty());
    EXPECT_EQ(channel.offerState(), ControlChannel::OfferState::Waiting);

    // "{non}": the offer is over and its connection goes too.
    s->write("{non}\x05");
    EXPECT_TRUE(idleAgain());
    EXPECT_TRUE(infos.contains(QStringLiteral("Transfert non autorisé")));
    EXPECT_TRUE(waitUntil([&] { return s->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
}

TEST_F(OfferingSide, ARefusedPortIsFollowedByTheNextOneUntilOneIsTaken)
{
    QTcpSocket *s = offerToBob();
    ASSERT_NE(s, nullptr);
    readFrom(s, 10);
    s->write("{oui}\x05");
    EXPECT_EQ(readFrom(s, 10), QByteArray("{can}2010\x05"));
    s->write("{pre}\x05");
    EXPECT_EQ(readFrom(s, 10), QByteArray("{can}2011\x05"));
    s->write("{pok}\x05");
    EXPECT_TRUE(idleAgain());
    EXPECT_TRUE(log.contains(QStringLiteral("Port accepté : 2011")));
    EXPECT_EQ(log.count(QStringLiteral("Port refusé")), 1);
}

TEST_F(OfferingSide, EveryPortRefusedEndsTheOfferAndSaysSo)
{
    QTcpSocket *s = offerToBob();
    ASSERT_NE(s, nullptr);
    readFrom(s, 10);
    s->write("{oui}\x05");
    QStringList proposed;
    for (int i = 0; i < channel.limits().portProposals; ++i) {
        const QByteArray can = readFrom(s, 10);
        ASSERT_TRUE(can.startsWith("{can}")) << can.constData();
        proposed << QString::fromLatin1(can.mid(5, 4));
        s->write("{pre}\x05");
    }
    EXPECT_TRUE(idleAgain());
    EXPECT_EQ(proposed.first(), QStringLiteral("2010"));
    EXPECT_EQ(proposed.last(), QStringLiteral("2025"));
    EXPECT_TRUE(infos.contains(QStringLiteral("Transfert impossible : bob n'a accepté aucun port de données")));
    EXPECT_TRUE(readFrom(s, 0).isEmpty());
}

TEST_F(OfferingSide, ThePeerVanishingAtAnyStepGivesTheSendPageBack)
{
    enum class Step { Connecting, Waiting, PortProposed, SilentOnPort };
    for (const Step step : { Step::Connecting, Step::Waiting, Step::PortProposed, Step::SilentOnPort }) {
        SCOPED_TRACE(int(step));
        infos.clear();
        ControlChannel::Limits limits;
        limits.portAnswerMs = 200;
        channel.setLimits(limits);
        if (step == Step::Connecting) {
            recipient.close(); // refused
            channel.StartOffer(QStringLiteral("bob"), file);
        } else {
            QTcpSocket *s = offerToBob();
            ASSERT_NE(s, nullptr);
            readFrom(s, 10);
            if (step != Step::Waiting) {
                s->write("{oui}\x05");
                readFrom(s, 10);
            }
            if (step != Step::SilentOnPort)
                s->abort();
        }
        EXPECT_TRUE(idleAgain());
        EXPECT_TRUE(infos.contains(QStringLiteral("Impossible de se connecter à bob"))) << infos.join(u'|').toStdString();
        if (step == Step::Connecting) {
            ASSERT_TRUE(recipient.listen(QHostAddress(recipientIp), ControlChannel::kControlPort));
        }
    }
}

TEST_F(OfferingSide, AWithdrawnOfferGoesNoFurtherWhenAYesCrossesIt)
{
    QTcpSocket *s = offerToBob();
    ASSERT_NE(s, nullptr);
    readFrom(s, 10);
    channel.btnCancelTransClick();
    EXPECT_TRUE(infos.contains(QStringLiteral("Transfert annulé")));
    EXPECT_EQ(readFrom(s, 6), QByteArray("{trc}\x05"));
    s->write("{oui}\x05");
    EXPECT_TRUE(idleAgain());
    EXPECT_TRUE(waitUntil([&] { return s->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
    EXPECT_FALSE(log.contains(QStringLiteral("W:{can}2010")));
}

TEST_F(OfferingSide, AnswersOutOfTurnAndQuestionsOnTheOfferConnectionAreIgnored)
{
    QTcpSocket *s = offerToBob();
    ASSERT_NE(s, nullptr);
    readFrom(s, 10);
    s->write(askBytes("bob", "x", "1", "10.0.0.2") + "{pok}\x05{can}2010\x05");
    ASSERT_TRUE(waitUntil([&] { return log.filter(QStringLiteral("hors négociation")).size() == 3; }, kWaitMs))
        << log.join(u'\n').toStdString();
    EXPECT_EQ(channel.offerState(), ControlChannel::OfferState::Waiting);
    EXPECT_TRUE(channel.openOffers().isEmpty());
}

TEST_F(OfferingSide, SendCmdLogsEveryNonBlankCommand)
{
    channel.sendCMD(nullptr, QStringLiteral("   "));
    EXPECT_TRUE(log.isEmpty());
    channel.sendCMD(nullptr, QStringLiteral("{oui}")); // nobody to carry it
    EXPECT_EQ(log, QStringList({ "W:{oui}" }));
}

} // namespace
